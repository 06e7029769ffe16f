// The help document. The program's help path names "Quorvane.chm" in the Help folder beside
// the program; on this system the document is the HTML file of the same name in that folder,
// which any desktop can show.
#pragma once

#include <string>

// GetHelpFilePath with its ".chm" ending replaced by ".html" (a Windows path).
std::string HelpDocumentPath();

// Opens the help document with the desktop's opener. Non-zero when the opener was started;
// a missing document or opener does nothing.
int OpenHelpDocument();
