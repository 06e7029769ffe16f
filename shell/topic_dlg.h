// CTopicDlg: the base of every page of the main window and of the exit pop-up. It knows the
// main window, keeps Enter and Escape from closing it (they go to the focused control), and
// sets up the page banner with the look all pages share.
#pragma once

#include <string>

#include "vendor/ui/label.h"
#include "vendor/ui/skinable_dialog.h"
#include "vendor/ui/topic_title.h"

class CQuorvaneDlg;

class CTopicDlg : public CSkinableDialog {
public:
    // The page skin and the exit pop-up skin, both keyed with pure green.
    static constexpr unsigned kPageSkin = 147;
    static constexpr unsigned kExitPopSkin = 243;
    static constexpr COLORREF kSkinKey = 0x00FF00;
    // The colour of a page's text.
    static constexpr COLORREF kTextColour = 0x00494949;

    CTopicDlg(unsigned templateId, wxWindow* parent);

    // Configures `banner` in one chain: image `pngId` (0: none), the texts, colours 0x494949
    // and black, title font Verdana 26 bold, description font Tahoma 13, the gradient rule.
    static void SetupTitleBanner(CTopicTitle& banner, unsigned pngId, const std::string& title,
                                 const std::string& description);
    // Moves the banner to (10, 6), 480 x 350, and shows it.
    static void PlaceTitleBanner(wxWindow& banner);
    // Makes `label` (`text` in the page's text colour, drawn over the skin, wrapped at its
    // width when `wrap`).
    static void CreatePageLabel(CLabel& label, wxWindow* parent, int id, const wxRect& rect, bool wrap,
                                const std::string& text = "");

    CQuorvaneDlg* MainDlg() const { return m_pMainDlg; }

    // The page's actions that change the prefix become unavailable for `reason` (empty:
    // available again). Pages without such actions ignore it.
    virtual void SetWritingUnavailable(const std::string& reason) { (void)reason; }

protected:
    // Enter and Escape reach the focused control and stop there.
    void PreTranslateKey(wxKeyEvent& event) override;

    CQuorvaneDlg* m_pMainDlg;
};

// True for the keys that a page hands to its focused control instead of its default handling.
bool IsDialogEndKey(int keyCode);
