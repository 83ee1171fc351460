#include "wizard/page_logic.hpp"
#include "app/language.hpp"
#include "app/product.hpp"
#include <windows.h>
#include <shlwapi.h>

std::wstring DashedLine(const std::wstring& text, int available, int framedWidth, int dashWidth) {
  if (!text.empty()) available -= framedWidth;
  const int n = dashWidth > 0 && available > 0 ? available / dashWidth : 0;
  if (text.empty()) return std::wstring(static_cast<std::size_t>(n), L'-') + L"\r\n";
  return std::wstring(static_cast<std::size_t>(n / 2), L'-') + L" " + text + L" " +
         std::wstring(static_cast<std::size_t>((n + 1) / 2), L'-') + L"\r\n";
}

std::wstring MenuFolderRelative(const std::wstring& root, const std::wstring& folder) {
  if (root.size() >= MAX_PATH || folder.size() >= MAX_PATH) return folder;
  wchar_t relative[MAX_PATH] = {};
  if (!::PathRelativePathToW(relative, root.c_str(), FILE_ATTRIBUTE_DIRECTORY, folder.c_str(),
                             FILE_ATTRIBUTE_DIRECTORY))
    return folder;
  wchar_t canonical[MAX_PATH] = {};
  if (!::PathCanonicalizeW(canonical, relative)) return folder;
  std::wstring result = canonical;
  if (result == L"." || result == L".\\") result.clear();
  return result;
}

std::wstring MenuFolderFromRelative(const std::wstring& root, const std::wstring& relative) {
  if (root.size() >= MAX_PATH || relative.size() >= MAX_PATH) return root;
  wchar_t combined[MAX_PATH] = {};
  if (!::PathCombineW(combined, root.c_str(), relative.empty() ? nullptr : relative.c_str())) return root;
  return combined;
}

start_texts StartPageTexts(std::int32_t earlierState, const std::wstring& earlierVersion) {
  const std::wstring label = GetProductLabel(false);
  const std::wstring next = LoadMessage(1006);
  start_texts t;
  switch (earlierState) {
    case 1:
      t.information = FormatMessageText(1102, label) + L"\r\n" + LoadMessage(1104);
      t.status = FormatMessageText(1105, next, LoadMessage(1002));
      break;
    case 2:
      t.information = FormatMessageText(1101, earlierVersion, label);
      t.status = FormatMessageText(1106, next);
      break;
    case -1:
      t.information = FormatMessageText(1100, label) + L"\r\n" + FormatMessageText(1103, earlierVersion);
      t.status = FormatMessageText(1107, LoadMessage(1002));
      break;
    default:
      t.information = FormatMessageText(1100, label);
      t.status = FormatMessageText(1106, next);
      break;
  }
  return t;
}
