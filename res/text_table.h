#pragma once
// The bilingual text table and its lookup. Every text the windows show comes
// from here: a pair of texts per message, the Russian one under an odd id and
// the English one under the next, even id. Callers always name the odd id.
// Plain C++ (no Qt), so that the engine and its tests can use it too.
#include <atomic>
#include <string>

namespace res {

// The interface language of this run: 0 Russian, any other value English
// (1, and -1/255 for "no choice made", all count as English). Set by the main
// window from the settings, and by the first-run dialog, before the first
// caption is looked up.
extern std::atomic<int> InterfaceLanguage;

// First and last id of the table.
inline constexpr int kFirstTextId = 1;
inline constexpr int kLastTextId = 280;
// Room of a text buffer, terminating zero included: no text is longer than
// kTextBufferSize - 1 bytes (UTF-8).
inline constexpr int kTextBufferSize = 256;

// The stored text of one table entry (odd: Russian, even: English), or
// nullptr when the table holds none under that id.
const char* TextResource(int resourceId);

// The text of the pair named by the odd id, in the interface language, in a
// 256-byte buffer of the calling thread. The pointer is the same for every
// call on one thread; its contents stay valid until this thread asks for a
// different id. Asking again for the last id returns the buffer as it is,
// without looking at the table or the language. An id with no text gives "".
const char* LoadText(int id);

// The same text as an owned copy (fits engine::TextLookup). Safe from any
// thread.
std::string LoadTextCopy(int id);

}  // namespace res
