#include "support/product_identity.hpp"
#include "support/errors.hpp"
#include <atomic>

namespace {
std::atomic<unsigned> g_product_id{0};

struct product_row {
  unsigned id;
  const wchar_t* name;
};
constexpr product_row kProducts[] = {
    {258, L"Tavimora 2"},
};
}  // namespace

unsigned GetProductId() { return g_product_id.load(); }

void SetProductId(unsigned product_id) { g_product_id.store(product_id); }

std::wstring GetProductName(unsigned product_id) {
  for (const product_row& row : kProducts)
    if (row.id == product_id) return row.name;
  qv::throw_logic_error();
}

std::wstring GetProductLabel(bool name_only) {
  std::wstring label = kProductFamily;
  if (!name_only) label += std::wstring(L" ") + kDisplayVersion;
  return label;
}
