// EncryptLevel::GetEnCryptLevel over the grading table.
#include <OskaBase/Encrypt.h>

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using Oska::Base::EncryptLevel::GetEnCryptLevel;

TEST(PasswordLevel, ShortPasswordsAreRefusedWhateverTheyHold) {
  EXPECT_EQ(GetEnCryptLevel("user", ""), 0);
  EXPECT_EQ(GetEnCryptLevel("user", "aB3$eF7"), 0);
  EXPECT_EQ(GetEnCryptLevel("user", "aB3$eF7!"), 3);
}

TEST(PasswordLevel, TheUserNameAndItsReverseAreRefused) {
  EXPECT_EQ(GetEnCryptLevel("Admin123", "Admin123"), 0);
  EXPECT_EQ(GetEnCryptLevel("Admin123", "321nimdA"), 0);
  // Only a byte-for-byte match refuses; a case change is graded.
  EXPECT_EQ(GetEnCryptLevel("Admin123", "aDMIN123"), 3);
  EXPECT_EQ(GetEnCryptLevel("admin123", "ADMIN123"), 1);
}

TEST(PasswordLevel, GradesFollowTheKindsOfCharacters) {
  struct Case {
    const char* pass;
    int grade;
  };
  const Case cases[] = {
      {"abcdefgh", 0}, {"ABCDEFGH", 0}, {"12345678", 0}, {"!@#$%^&*", 0},
      {"abcd1234", 1}, {"ABCD1234", 1},
      {"abcdEFGH", 2}, {"abcd!@#$", 2}, {"1234!@#$", 2}, {"ABCD !?.", 2},
      {"abCD1234", 3}, {"aB1!aB1!", 3}, {"ab12!@#$", 3}, {"AB12 ..,", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(GetEnCryptLevel("user", c.pass), c.grade) << c.pass;
  EXPECT_EQ(GetEnCryptLevel("", "12345678"), 0);
}

TEST(PasswordLevel, BytesAboveAsciiAreOtherCharactersInAnyLocale) {
  // Latin-1 / UTF-8 letters never count as letters.
  EXPECT_EQ(GetEnCryptLevel("user", "abcd\xE9\xE9\xE9\xE9"), 2);
  EXPECT_EQ(GetEnCryptLevel("user", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"), 0);
  // In a Latin-1 locale the C library calls 0xC4 an upper-case letter; the
  // grade must not change with it.
  const std::string old = std::setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(std::setlocale(LC_CTYPE, "de_DE.ISO-8859-1"), nullptr);
  EXPECT_EQ(GetEnCryptLevel("user", "ABCD\xC4\xC4\xC4\xC4"), 2);
  std::setlocale(LC_CTYPE, old.c_str());
}

}  // namespace
