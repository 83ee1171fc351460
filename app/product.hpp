// The product this setup program installs. Its identity is a header of the
// support library, low enough for the record and the engine to include.
#pragma once
#include "support/product_identity.hpp"
