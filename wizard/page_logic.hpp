// What the pages compute from the settings, as pure functions: the
// installation summary's dashed lines, the Start-menu folder
// relative to the Start-menu root and back, the start page's texts.
#pragma once
#include <cstdint>
#include <string>

// A log line filling `available` pixels: an empty text gives a rule of
// dashes; a heading is framed by one blank on each side and centred between
// dashes. `framedWidth` is the width of " text " (ignored for an empty
// text), `dashWidth` that of one "-". Ends with "\r\n". A heading wider than
// the space gets no dashes.
std::wstring DashedLine(const std::wstring& text, int available, int framedWidth, int dashWidth);

// The Start-menu folder shown on the shortcut page: relative to the root
// (both as folders), canonicalised, empty for the root itself; the folder
// unchanged when no relative path can be formed (another drive).
std::wstring MenuFolderRelative(const std::wstring& root, const std::wstring& folder);
// The root combined with what the page shows (canonicalised).
std::wstring MenuFolderFromRelative(const std::wstring& root, const std::wstring& relative);

struct start_texts {
  std::wstring information;  // 1016
  std::wstring status;       // 1003
};
// The start page's information and status by earlier state, in the current
// language; `earlierVersion` is the version text of states 2 and -1.
start_texts StartPageTexts(std::int32_t earlierState, const std::wstring& earlierVersion);
