// The comments part of a worksheet (xl/commentsN.xml): notes by cell, rich-text runs
// joined. Threaded comments reach us through the note that programs write beside them
// for older readers ("[Threaded comment] ...").
#pragma once

#include <string>

#include "reader/model/workbook.h"

namespace gridwell::xlsx {

// Adds every comment of the part's text to `sheet`. False with `error` set when the text
// is not well-formed XML (nothing is added then).
bool ParseComments(const std::string& text, model::Sheet& sheet, std::string& error);

}  // namespace gridwell::xlsx
