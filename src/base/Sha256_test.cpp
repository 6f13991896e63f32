#include "base/Sha256.h"

#include <gtest/gtest.h>

namespace {

// Known answers, and the same digest whichever way the bytes are handed over: every
// split of a text that crosses the 64-byte blocks and the 56-byte padding boundary.
TEST(Sha256, KnownAnswersWhateverTheSplit) {
    EXPECT_EQ(hexText(Sha256::of("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hexText(Sha256::of("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hexText(Sha256::of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hexText(Sha256::of(SString(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    SString text;
    for (int i = 0; i < 130; ++i) text += static_cast<char>(i * 7);
    const SString whole = Sha256::of(text);
    for (size_t split = 0; split <= text.size(); ++split) {
        Sha256 sha;
        sha.update(text.substr(0, split));
        sha.update(text.substr(split));
        EXPECT_EQ(sha.finish(), whole) << split;
    }
}

}  // namespace
