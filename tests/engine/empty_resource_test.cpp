// A payload resource with no bytes: the extraction fails before it starts
// counting, with the unexpected-error code.
#include "engine/payload.hpp"
#include "tests/common/test_support.hpp"
#include "tests/engine/payload_test_util.hpp"
#include <gtest/gtest.h>

using namespace payload_test;

TEST(EmptyPayloadResource, FailsWithUnexpectedErrorAndNoTotal) {
  ASSERT_NE(::FindResourceW(nullptr, MAKEINTRESOURCEW(134), MAKEINTRESOURCEW(260)), nullptr);
  std::unique_ptr<qv::imemstream> stream = open_payload();
  EXPECT_EQ(stream->size(), 0u);
  std::wstring root = qvtest::scratch_folder(L"empty-resource");
  recorder r;
  EXPECT_FALSE(extract_payload(*stream, root, L"", L"", r.handler()));
  EXPECT_EQ(r.indices(), (std::vector<std::size_t>{start, error}));  // no progress: the total stays 0
  EXPECT_EQ(r.error_code(), make_error_code(compress_error::unexpected_error));
  qvtest::remove_tree(root);
}
