#pragma once
// What a take recorded into a cart's file must not lose to a kill. When the take runs past the old
// end of the samples, what stood behind them (the INFO list, the DISP text and picture) is cut off
// and written back only as the take is finished, and until then the file says it is unfinished.
// So before a take starts, the deck keeps the cart's path and those lists in a small file beside
// the take in the temporary folder, on the disk before the first write, and drops it only once the
// cart is finished with those lists. A take whose finish failed (a full disk) or that was killed
// leaves it, and the cart is finished with it at the next stop, Eject, exit or start that can.
#include <string>

struct WaveIOBlock;

// In the temporary folder; no cart takes this name (every cart's name holds ".wav").
constexpr const char* kCartTailName = "Recording.tail";

// Keeps the cart at cartPath with the lists of lists (none when null) in folder: a file made new,
// never through a link, and durable before this returns. False when it could not be made, or when
// folder still keeps a cart that could not be finished yet (that file stays).
bool KeepCartTail(const std::string& folder, const std::string& cartPath, const WaveIOBlock* lists);
// When folder keeps a cart (in a regular file, complete), the cart is finished with its lists and
// the file dropped, unless the cart is there and could not be finished. The cart's path; empty
// when none was kept.
std::string FinishKeptCart(const std::string& folder);
