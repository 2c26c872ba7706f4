#pragma once
// The deck's temporary folder, "Solvane" under the lasting temporary path: new carts, non-destructive
// copies and the take being recorded. The running deck holds it for the whole run by a descriptor
// (plat::HeldFolder): it is the account's own, no other account can move it away, one running deck
// at a time holds it (the lock on the folder itself), and nothing in it is opened, written, taken
// back or deleted through a link or anywhere else, whatever is done to its name meanwhile.
#include <string>
#include <vector>

#include "platform/system/held_folder.h"

// The per-account folder on /var/tmp, when no TMPDIR is set, is "solvane-<uid>".
constexpr const char* DeckTempAccountPrefix = "solvane";

// plat::LastingTempPath(DeckTempAccountPrefix) + "Solvane/"
std::string DeckTempFolder();

// What the operator is told when the folder cannot be held, and what to do about it.
std::string DeckTempRefusal(const plat::FolderVerdict& verdict, const std::string& folder);

// The account's own place for what must outlive the temporary folder, "Solvane/" under the account's
// state folder (plat::AccountStatePath(): $XDG_STATE_HOME, else ~/.local/state); empty when the
// account has no home folder. No other account can make anything there first. Each use has a folder
// of its own beneath it, held with HoldPrivateFolder.
std::string DeckPrivateFolder();
// Beneath it, the temporary folder used when the lasting one, or a folder above it, is another
// account's.
constexpr const char* DeckFallbackName = "Temp";
// Beneath it, where a take the deck holds is written out when it cannot go back into the
// temporary folder; a start takes those left there back as it takes back the folder's own.
constexpr const char* DeckRescueName = "Rescued";
// Holds the folder name beneath DeckPrivateFolder(), each level it makes 0700 whatever the umask,
// judged as the temporary folder is: the home or state folder on the way may be another account's
// (HOME left as another's) or one that others may write to, and is then refused. Shared, beside
// the account's other decks that hold it so (plat::HeldFolder::HoldShared).
plat::FolderVerdict HoldPrivateFolder(plat::HeldFolder& folder, const std::string& name, bool shared = false);
// What the operator is told when the temporary folder was refused as another account's and the deck
// keeps its recordings in fallback, beneath the private place, instead.
std::string DeckTempFallbackText(const plat::FolderVerdict& refused, const std::string& folder,
                                 const std::string& fallback);
// What the operator is told when a folder beneath the private place cannot be held.
std::string PrivateFolderRefusal(const plat::FolderVerdict& verdict, const std::string& folder);
// What a save into the folder is told.
std::string SaveIntoTempText(const std::string& folder);
// Where the deck put a take it holds once its name no longer led to it.
enum class TTakeBack {
  WrittenOut,    // under its own name again
  Rescued,       // into the folder for rescued takes (DeckRescueName)
  RescuedAlone,  // that folder could not take it either: into a folder made for it alone, which no
                 // start looks in
  Lost,          // nowhere: it could not be written out
};
// A take whose file was removed, and what became of it.
struct TTakeBackNote {
  std::string path;         // where the take's file was
  bool recording = false;   // removed during the take, not after it
  bool wasRescued = false;  // that file was where an earlier rescue had put it
  TTakeBack back = TTakeBack::Lost;
  std::string where;             // where a rescued take is now
  plat::FolderVerdict verdict;   // why it did not go back into its folder (held: it could not be written there)
  std::string own;               // for RescuedAlone: the folder for rescued takes ...
  plat::FolderVerdict ownVerdict;  // ... and why it could not take the take
};
// What the operator is told of it.
std::string TakeBackText(const TTakeBackNote& note);

// Why a take's file, path, that has a second name is not recorded into; take is false for a cart's
// file outside the temporary folder.
std::string SecondNameText(const std::string& path, bool take = true);
// Why the file at path (a take's when take is set) refuses a recording, judged as a recording
// opens it; empty when it takes one.
std::string RecordRefusalText(const std::string& path, bool take);

// The takes a run left behind in the folder, in name order: regular files named "*.wav" with no
// other name. A link, whatever it points at, is never one of them, nor a file with another link.
std::vector<std::string> LeftoverTakes(const std::string& folder);
// The files named as takes that a run left there with another name as well (a backup by hard
// links), in name order: never taken back, only told of.
std::vector<std::string> LinkedLeftovers(const std::string& folder);
// What the operator is told of such a file, path, holding length of audio (empty: unknown).
std::string LinkedLeftoverText(const std::string& path, const std::string& length);

// Whether a run cut short left anything in the folder to take back: a take, or the lists kept for a
// cart not yet finished.
bool HoldsLeftovers(const std::string& folder);

// Empties the folder: every name in it but the lists kept for a cart not yet finished
// (recorder/CartTail, which drops them once it is) is unlinked. A link goes as a name and is never
// followed; a folder inside is left alone. False when a name could not be removed.
bool EmptyDeckTemp(const std::string& folder);

// Whether a file saved at path would lie in the folder (any spelling of it, links included).
bool InDeckTemp(const std::string& folder, const std::string& path);
// Whether the file at path lies in a folder beneath the private place (a rescued take, say).
bool InDeckPrivateFolder(const std::string& path);
