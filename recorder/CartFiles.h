#pragma once
// Copying and moving a cart's file to where it is saved. A target is never deleted first and
// never left half written: a copy goes to a temporary file in the target's folder, which takes
// the target's place in one step only once it is complete, and is removed when the copy fails or
// is cancelled. So whatever happens, the target is either the old file or the whole new one.
#include <cstdint>
#include <functional>
#include <string>

// The copy's block size.
constexpr int64_t CartCopyBlock = 8192;

struct TCopyProgress {
  // The source's size, once it is open.
  std::function<void(int64_t total)> OnSize;
  // Before each block, with the bytes copied so far: the window handles its messages here.
  std::function<void(int64_t done)> OnBlock;
  // Asked before each block and once more at the end; true stops the copy (it then fails).
  std::function<bool()> Cancelled;
};

// Exists: the copy was to take a name of its own and a file held that name (it is left alone).
enum class TCopyOutcome { Done, Failed, Cancelled, Exists };

// The full path a copy to target writes: target made absolute; when that is an existing folder,
// the source's file name inside it.
std::string CartCopyTarget(const std::string& source, const std::string& target);

// Copies source to the file target in blocks of CartCopyBlock bytes (a folder is never replaced).
// Without replace the copy only ever creates target: a file that holds the name, or takes it
// meanwhile, stays as it is.
TCopyOutcome CopyCartFile(const std::string& source, const std::string& target, const TCopyProgress& progress = {},
                          bool replace = true);

// Moves source onto the file target: a rename, which replaces an existing target in one step;
// across file systems a complete copy replaces the target and then the source is removed.
TCopyOutcome MoveCartFile(const std::string& source, const std::string& target, const TCopyProgress& progress = {});

// The name of a save's next retry: "Copy (n) of " + name with the first n above the last one
// tried that nothing in folder holds, in any letter case; n becomes that number.
std::string FreeCopyName(const std::string& folder, const std::string& name, int& n);

// Whether two paths name the same file: the same file on disk (links and case included, as the
// file system decides), or the same path once made absolute.
bool SameCartFile(const std::string& a, const std::string& b);

// The name of the one file in folder whose name is name in any letter case (a name stored or typed
// as "CART.WAV" still finds "cart.wav"); empty when there is none, or more than one.
std::string FileNameIgnoringCase(const std::string& folder, const std::string& name);
