// Threads for work that reads documents. Parsers and writers of nested file formats (MuPDF's
// object marking and copying among them) recurse once per object along a chain of references,
// so a crafted file can ask for a deep stack. Every thread that reads or writes documents gets
// a large stack, and document readers refuse files with more objects than that stack covers
// (see kMaxDocumentObjects), so the recursion is bounded by construction.
#pragma once

#include <cstddef>
#include <functional>

namespace cvl::Threads {

// The stack of every worker thread: reserved, not committed, so unused depth costs nothing.
inline constexpr std::size_t kWorkStackBytes = std::size_t(512) << 20;
// Documents with more objects than this are refused: a recursion of up to 256 bytes a level
// over every object still fits the work stack.
inline constexpr std::size_t kMaxDocumentObjects = kWorkStackBytes / 256;

// Starts `work` on a detached thread with the work stack; false when no thread could start.
bool startDetached(std::function<void()> work);
// Runs `work` on a new thread with the work stack and waits for it; runs it on the calling
// thread when no thread could start.
void runOnWorkStack(const std::function<void()>& work);
// The usable stack of the calling thread, in bytes (0 when it cannot be told).
std::size_t currentStackBytes();

}  // namespace cvl::Threads
