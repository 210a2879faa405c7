// What every service pass shows first, as the fake backend records it: the
// settings it starts with in their controls, and their axis ranges. Tests of
// other steps leave it out of their transcripts; one test checks it.
#pragma once

#include <string>
#include <vector>

using Texts = std::vector<std::string>;

Texts start_settings(int panel, int budget);

// `texts` without the start settings of any pass (live or replay budget).
Texts without_start_settings(const Texts& texts);
