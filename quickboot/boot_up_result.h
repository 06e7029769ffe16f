// The figure of the Boot Up Results page: every program that the last apply switched off
// counts 4 seconds of faster booting. Nothing switched off claims no gain at all.
#pragma once

#include <string>

struct BootUpResult {
    bool recorded = false;  // "BFlag" was there (it is deleted when read)
    int switchedOff = 0;    // the programs it counted
    int seconds = 0;        // seconds faster; 0: no gain is claimed
    std::string text;       // what the page's result label shows
};

// Seconds saved by switching off `switchedOff` programs: 4 each; 0 for none (or for a
// negative count from a damaged setting); capped so that the figure cannot overflow.
int BootSecondsSaved(int switchedOff);

// The result label: "Your PC has been optimized to boot up\nXX seconds faster." for a gain,
// else the table's text that booting is unchanged.
std::string BootUpResultText(int seconds);

// Reads "BFlag" from the options key and deletes it, so that the figure is shown once.
BootUpResult ReadBootUpResult();
