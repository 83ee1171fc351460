// What the installation run writes about the product it installs, as values
// (tests give other ones: another language, another name).
#pragma once
#include <cstdint>
#include <string>

struct product_identity {
  std::wstring name;          // display name: "Tavimora 2"
  std::wstring label;         // name with display version: "Tavimora 2.31t"
  std::wstring family;        // short label: "Tavimora"
  std::wstring version_text;  // "2.31.20.1"
  std::int32_t language = 0;  // the installation's language number (0 French to 19 Hungarian)
};

// The product of this setup program, in the current language of the process.
product_identity current_product_identity();
