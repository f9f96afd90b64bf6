// --sheet: the check as one picture, in the contact sheet's grid.
#pragma once

#include "check.h"
#include "sheet.h"

// One cell per block in set order: the expected block dimmed (darker where it is identical),
// each pixel with a differing byte in a signal colour (red where the file holds more, blue where it
// holds less) whose strength grows with the largest difference; a missing or unreadable file's cell
// crossed out.
sheet_picture make_difference_sheet(const check_set& set, const check_report& report,
                                    const sheet_options& options);
