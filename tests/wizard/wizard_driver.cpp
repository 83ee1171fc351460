#include "tests/wizard/wizard_driver.hpp"
#include <cstdio>
#include <vector>

namespace qvtest {

namespace {

struct fit_search {
  std::vector<std::wstring> clipped;
};

BOOL CALLBACK check_fit(HWND control, LPARAM lp) {
  auto* search = reinterpret_cast<fit_search*>(lp);
  if (!::IsWindowVisible(control)) return TRUE;
  const std::wstring cls = class_name(control);
  const LONG style = ::GetWindowLongW(control, GWL_STYLE);
  std::wstring text = window_text(control);
  if (text.empty()) return TRUE;
  int allowance = 0;  // room the control itself takes from its text
  bool wraps = false;
  if (cls == L"Static") {
    const LONG type = style & SS_TYPEMASK;
    if (type != SS_LEFT && type != SS_CENTER && type != SS_RIGHT && type != SS_LEFTNOWORDWRAP) return TRUE;
    wraps = type != SS_LEFTNOWORDWRAP;
    if (style & SS_SUNKEN) allowance = 2;
  } else if (cls == L"Button") {
    const LONG type = style & BS_TYPEMASK;
    if (type == BS_GROUPBOX)
      allowance = 16;
    else if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON)
      allowance = 18;
    else
      allowance = 6;
  } else {
    return TRUE;
  }
  if (!(style & SS_NOPREFIX) || cls == L"Button") {
    std::wstring plain;
    for (std::size_t i = 0; i < text.size(); ++i)
      if (text[i] != L'&' || (i + 1 < text.size() && text[i + 1] == L'&' && (++i, true))) plain += text[i];
    text = plain;
  }
  RECT client{};
  ::GetClientRect(control, &client);
  HDC dc = ::GetDC(control);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  RECT need{0, 0, client.right - allowance, 0};
  const int lines_room = client.bottom / (metrics.tmHeight > 0 ? metrics.tmHeight : 1);
  UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS;
  if (wraps && lines_room > 1) format |= DT_WORDBREAK;
  else format |= DT_SINGLELINE;
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, format);
  ::SelectObject(dc, old);
  ::ReleaseDC(control, dc);
  const bool too_wide = need.right > client.right - allowance;
  const bool too_high = (format & DT_WORDBREAK) && need.bottom > client.bottom;
  if (too_wide || too_high)
    search->clipped.push_back(std::to_wstring(::GetDlgCtrlID(control)) + L": " + text);
  return TRUE;
}

}  // namespace

std::vector<std::wstring> clipped_texts(HWND dialog) {
  fit_search search;
  ::EnumChildWindows(dialog, check_fit, reinterpret_cast<LPARAM>(&search));
  return search.clipped;
}

bool save_window_bitmap(HWND window, const std::wstring& path) {
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  ::Sleep(300);
  RECT r{};
  if (!::GetWindowRect(window, &r)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const int stride = (w * 3 + 3) & ~3;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * h);
  const int lines = ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (lines != h) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = _wfopen(path.c_str(), L"wb");
  if (!out) return false;
  bool ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
            fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return fclose(out) == 0 && ok;
}

}  // namespace qvtest
