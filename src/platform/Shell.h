#pragma once
// The shell's "open" action and what the window builds on it: opening a file with the program
// the desktop associates with its type, opening web addresses and the help page, the messages
// for failures, the About box and the program's addresses.

#include "platform/MessageBox.h"

#include <QString>

namespace quill {

// The maker's web page. A reserved example domain: there is no real site behind it.
inline constexpr char WebPageAddress[] = "https://quillmere.example.org/";

// Results of ShellExecute besides success (any value above 32).
inline constexpr int SE_ERR_OTHER = 0;
inline constexpr int SE_ERR_FNF = 2;          // file not found
inline constexpr int SE_ERR_PNF = 3;          // path (folder) not found
inline constexpr int SE_ERR_ACCESSDENIED = 5; // access denied
inline constexpr int SE_ERR_NOASSOC = 31;     // no application associated with the type
inline constexpr int ShellExecuteSucceeded = 42;

// Opens a local file or folder (a path or a file:// address) or a web address with the desktop's
// default application for it, started detached; returns at once. Relative paths are taken from
// the current directory. A local target that is not a regular file or folder (a pipe, socket or
// device) is refused as access denied: no viewer can read it as a document.
int ShellExecute(const QString& target);

// The message for a failed open-with-association.
QString openFailureMessage(int result);

// The message for a failed help page: only the two "not found" results have a text of their own;
// every other result gives a single blank.
QString helpFailureMessage(int result);

// Opens the file with its associated application; a failure is shown in a box titled "Fehler"
// with the exclamation icon.
void OpenWithAssociation(const QString& path);

// Opens the help page; a failure is shown like OpenWithAssociation's, with the help texts.
void OpenHelpPage(const QString& address);

// Opens the maker's web page; the result does not matter to anyone.
void OpenWebPage();

// The file:// address of the help page shipped with the program: share/quillmere/help/index.html
// beside the folder of the running program, in the build tree and after installing alike. When
// it cannot be found there, the address of where it should be (opening it then reports it
// missing).
QString helpPageAddress();

// The About box: a blank title, OK, no icon, and "Quillmere <version>", an empty line and the
// library note.
MessageRequest aboutBox(const QString& version);

} // namespace quill
