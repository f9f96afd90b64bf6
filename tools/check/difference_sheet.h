// --sheet: the check as one picture, in the contact sheet's grid, with its own title and legend.
#pragma once

#include <string>

#include "check.h"
#include "sheet.h"

// One cell per block in set order, each row of cells numbered at its left: the expected block
// dimmed to grey (darker where it is identical), each pixel with a differing byte in a colour
// that says the sign and size of its largest difference; a missing or unreadable file's cell
// crossed out. Above the grid the verdict and how the cells are ordered, below it a legend.
// `dir` is the checked directory, as the user named it.
sheet_picture make_difference_sheet(const check_set& set, const check_report& report,
                                    const sheet_options& options, const std::string& dir);
