#pragma once
// What a take recorded into a cart's file must not lose to a kill. When the take runs past the old
// end of the samples, what stood behind them (the INFO list, the DISP text and picture) is cut off
// and written back only as the take is finished, and until then the file says it is unfinished.
// So before a take starts, the deck keeps the cart's path, what tells its file from any other and
// those lists in a small file beside the take in the temporary folder, on the disk before the
// first write; once the take's first audio is durable, a stamp of it joins them. A cart stays kept
// until it is finished with its lists: a take whose finish failed (a full disk) or that was killed
// leaves it, and the next stop, Eject, load, exit or start that can reach the cart finishes it. One
// whose disk is not there yet (a USB disk, a share after a power cut) stays kept for as long as
// that takes; the lists go into no other file that stands at its path meanwhile, nor through a
// link another account made there.
#include <cstdint>
#include <string>
#include <vector>

struct WaveIOBlock;

// In the temporary folder; no cart takes this name (every cart's name holds ".wav"). It holds
// every cart kept, and is replaced whole, never rewritten in place.
constexpr const char* kCartTailName = "Recording.tail";

// How many carts the file keeps at most: room for a take is not made by letting go of another.
constexpr size_t kMaxKeptCarts = 32;

// Keeps the cart at cartPath before a take into it: cart is its header as the deck holds it (null
// when there is none yet), takeStart the byte of its samples at which the take begins. With
// intoSamples the take writes into the samples it has, and its lists go along (those kept for it
// before when it has none of its own now); else the take makes the file anew and only the path
// and the format are kept, so that its sizes are written at the next start. Other carts kept stay
// as they were. The file is made new under another name, never through a link, and is durable in
// place before this returns. When the cart could not be kept (a full disk, kMaxKeptCarts reached)
// what was kept before is unchanged, and the answer says whether a title or picture was at stake.
enum class TKeep { Kept, NotKept, ListsNotKept };
TKeep KeepCartTail(const std::string& folder, const std::string& cartPath, const WaveIOBlock* cart, int64_t takeStart,
                   bool intoSamples);

enum class TKeptState {
  Finished,     // finished with its lists, or found so, or with nothing left to keep it for: gone
  Unreachable,  // nothing can be read at its path (a disk not mounted, a folder away): still kept
  Other,        // the file at its path is not the one the take went into: left alone, still kept
  OthersLink,   // a link another account made stands at its path: never followed, still kept
  Untold,       // nothing tells whether the file at its path is the take's: left alone, still kept
  NotFinished,  // its file could not be finished now (a full disk): still kept
};
struct TKeptCart {
  std::string path;
  TKeptState state = TKeptState::Finished;
  bool hasLists = false;  // a title or picture is kept for it
};

// Finishes every cart that folder keeps and can reach with its lists, and drops what it kept of
// those. Each cart kept, with what became of it; empty when none was. A kept file cut short (a
// kill while it was made, before any take) is dropped.
std::vector<TKeptCart> FinishKeptCart(const std::string& folder);

// Once the first audio of a take kept by KeepCartTail is on the disk (taken bytes of it, from where
// the take began), keeps beside its cart what only that take can show: a stamp of that audio. It
// tells the cart's file from any other later, also where the take began at its first sample. NotYet
// while the audio on the disk tells too little (silence) or the kept file could not be written; Done
// once it is kept, or when it never will be (the cart is no longer kept, or its path holds another
// file now).
enum class TStamp { NotYet, Done };
TStamp StampKeptTake(const std::string& folder, const std::string& cartPath, int64_t taken);

// Whether a cart in that state is still kept because its path holds a file that is not, or may not
// be, the take's.
bool KeptForAnother(TKeptState state);
// What the operator is told of such a cart; empty for the other states.
std::string KeptCartText(const TKeptCart& c);
