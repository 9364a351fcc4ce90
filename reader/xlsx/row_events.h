// Parser events of a run of worksheet rows, recorded on one thread and replayed on another.
//
// A run is a piece of sheetData that starts just after a row's end tag and ends with one.
// Its events are what a parser reports for it as content of <sheetData>, in this layout:
//   'S' name\0 count(u32, native order) (name\0 value\0) * count   a start tag
//   'E' name\0                                                       an end tag
//   'C' length(u32) bytes                                            character data
// The wrapper element itself is not recorded. Character data may be cut into pieces at any
// point; a consumer treats consecutive pieces as one text.
#pragma once

#include <string>
#include <string_view>

namespace gridwell::xlsx {

// Parses `run` with expat as content of <sheetData> and appends its events. False, with
// `events` unspecified, when the run is not a well-formed fragment or holds a document type
// or entity declaration.
bool RecordRowEvents(std::string_view run, std::string& events);

// The same events for a run in the plain form nearly every spreadsheet program writes:
// ASCII tags and texts without references, comments, CDATA sections, processing
// instructions, carriage returns or other characters a parser would rewrite. Much faster
// than a full parser. False at the first thing outside that form, or at anything that is
// not well-formed, with `events` unspecified; the run must then go to RecordRowEvents.
bool ScanPlainRowEvents(std::string_view run, std::string& events);

}  // namespace gridwell::xlsx
