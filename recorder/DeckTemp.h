#pragma once
// The deck's temporary folder, "Solvane" under the temporary path: new carts, non-destructive
// copies and the take being recorded. It is the deck's own: private to the account, held by one
// running deck at a time (through the lock file below), and nothing in it is opened, taken back or
// deleted through a link.
#include <string>
#include <vector>

// TempFolder() + "Solvane/"
std::string DeckTempFolder();

// The file inside the folder whose lock the running deck holds; no cart can take its name (every
// cart's name holds ".wav" in some letter case), and emptying the folder leaves it.
constexpr const char* DeckLockName = ".Solvane.lock";

enum class TDeckTempState { Ready, CannotMake, NotPrivate };
// Makes the folder when it is missing (mode 0700) and says whether the deck may use it. culprit
// names the folder at fault.
TDeckTempState PrepareDeckTemp(const std::string& folder, std::string& culprit);
// What the operator is told when the folder (or its parent) is not the account's own.
std::string NotPrivateText(const std::string& culprit);
// What a second start is told when another deck, out of its reach, holds the folder.
std::string FolderInUseText(const std::string& folder);
// What a save into the folder is told.
std::string SaveIntoTempText(const std::string& folder);

// The takes a run left behind in the folder, in name order: regular files named "*.wav". A link,
// whatever it points at, is never one of them.
std::vector<std::string> LeftoverTakes(const std::string& folder);

// Empties the folder: every name in it but the lock and the lists kept for a cart not yet finished
// (recorder/CartTail, which drops them once it is) is unlinked. A link goes as a name and is never
// followed; a folder inside is left alone. False when a name could not be removed.
bool EmptyDeckTemp(const std::string& folder);

// Removes a link standing at path, so that a cart copied there lands in a file of its own rather
// than wherever the link points (a folder, say).
void DropLink(const std::string& path);

// Whether a file saved at path would lie in the folder (any spelling of it, links included).
bool InDeckTemp(const std::string& folder, const std::string& path);
