// Shortcut files of the core library: .lnk (read with liblnk) and .url (INI text).
//
// Resolve results: 1 = the target is present; 2 = a target path is known but was not found,
// so the caller tests GetPath() itself (with its broader search); anything else = broken.
// A .lnk that cannot be read is broken. A .lnk that names no file at all (a shell object
// such as the control panel, or a network share) cannot be checked here and counts as
// present, so that nothing that may work is ever reported.
//
// Paths come from the forms a .lnk holds in UTF-16 where it holds them (the link info's
// Unicode local path, the string data's relative path). An 8-bit local path is read in the
// prefix's ANSI code page (Wine writes it in the code page of the user's locale: 932 for
// Japanese, 1251 for Russian). A path that cannot be read faithfully (characters the code
// page lacked, written as '?'; a prefix that names no code page) names a target only when
// that target is found, and otherwise counts as present.
#pragma once

#include <windows.h>

#include <string>

class CShellLink {
public:
    virtual ~CShellLink() = default;
    // Reads the link file named by a Windows (or absolute Unix) path. Non-zero on success.
    virtual int Load(const std::string& path);
    virtual int Resolve(HWND owner, DWORD flags);
    // The target's Windows path as the link gives it (empty when none).
    std::string GetPath() const { return m_target; }

protected:
    bool m_loaded = false;
    bool m_unknownTarget = false;  // readable, but names nothing we can check for sure
    std::string m_target;
};

// A .url file: "[InternetShortcut]" with "URL=...". Any web address (or other non-file
// scheme) is sound; a file: address is sound when its file exists; a file without a URL is
// broken.
class CUrlShellLink : public CShellLink {
public:
    int Load(const std::string& path) override;
    int Resolve(HWND owner, DWORD flags) override;

    // The URL of INI text, or empty when it has none.
    static std::string UrlOfText(const std::string& text);
    // The Windows path of a file: address ("file:///C:/a%20b.txt" -> "C:\a b.txt").
    static std::string PathOfFileUrl(const std::string& url);
};
