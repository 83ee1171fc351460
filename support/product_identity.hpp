// The product this setup program installs: identifier, version, names. The
// support library, the record and the engine read it; the application object
// sets the process-wide identifier.
#pragma once
#include <cstdint>
#include <string>

// High byte: the product family; low byte: the major version.
constexpr unsigned kProductId = 258;
// 2.31.20.1 laid out as a fixed file version: major and minor in the high
// 32 bits, build and revision in the low 32 bits.
constexpr std::uint64_t kProductVersion =
    (std::uint64_t{2} << 48) | (std::uint64_t{31} << 32) | (std::uint64_t{20} << 16) | 1u;
constexpr wchar_t kMakerName[] = L"Quorvane Systems";
constexpr wchar_t kProductFamily[] = L"Tavimora";
constexpr wchar_t kDisplayVersion[] = L"2.31t";

// The process-wide product identifier (0 until the application object sets it).
unsigned GetProductId();
void SetProductId(unsigned product_id);

// Display name of a product of the maker: 258 gives "Tavimora 2". Throws
// std::logic_error("logic error") for an identifier the table does not hold.
std::wstring GetProductName(unsigned product_id);
// "Tavimora" with the flag, else "Tavimora 2.31t".
std::wstring GetProductLabel(bool name_only);
