// Where a scan delivers what it finds and says. The results page and the command line each
// implement these; the engine knows nothing of windows.
#pragma once

#include <string>

#include "scan/scan_finding.h"

// Rows of the result list. AddFinding puts a row on top of the list.
class IFindingSink {
public:
    virtual ~IFindingSink() = default;
    virtual void AddFinding(const ScanFinding& finding) = 0;
    virtual void ClearFindings() = 0;
};

// The one-line status text. Scanners have a text for every entry they examine (up to a
// million a second): implementations must not block and may show only the latest text.
class IStatusSink {
public:
    virtual ~IStatusSink() = default;
    virtual void PostStatus(const std::string& text) = 0;
    // Whether an entry's text posted now would be seen. Scanners make an entry's text only
    // when it would (making one costs more than checking most entries); texts that end a
    // phase or a scan, and notes, are posted always. By default every text is wanted.
    virtual bool StatusWanted() { return true; }
};

// The progress bar and percentage the scan's ending moves. The command line has none.
class IScanProgress {
public:
    virtual ~IScanProgress() = default;
    virtual int Position() = 0;
    virtual void SetPosition(int position) = 0;
    virtual void Step() = 0;  // one step of the bar's current step size
    virtual void ShowPercent(int percent) = 0;
    virtual void Reset() = 0;      // empty label, range 0..100, step 1, position 0
    virtual void StopTimer() = 0;  // the page's 2-second timer
    virtual void Sleep(int milliseconds) = 0;
};
