// The real message catalogue and the flag icons, linked into this program
// from the same resource objects as setup.exe.
#include "app/language.hpp"
#include "tests/common/test_support.hpp"
#include <gtest/gtest.h>
#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// Every message the installer shows, by its French-block number.
std::vector<unsigned> message_numbers() {
  std::vector<unsigned> m;
  for (unsigned i = 1000; i <= 1018; ++i) m.push_back(i);
  for (unsigned i = 1100; i <= 1108; ++i) m.push_back(i);
  for (unsigned i = 1110; i <= 1115; ++i) m.push_back(i);
  for (unsigned i = 1117; i <= 1127; ++i) m.push_back(i);
  m.push_back(1129);
  return m;
}

std::wstring resource_text(unsigned id) {
  const wchar_t* text = nullptr;
  int n = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<wchar_t*>(&text), 0);
  return n > 0 && text ? std::wstring(text, n) : std::wstring();
}

std::wstring text_of(int language, unsigned m) { return resource_text(m - 1000 + LanguageBlock(language)); }

// The placeholders of a text, sorted ("%1", "%2", ...).
std::multiset<std::wstring> placeholders(const std::wstring& text) {
  std::multiset<std::wstring> found;
  static const std::wregex insert(L"%[0-9]+");
  for (std::wsregex_iterator i(text.begin(), text.end(), insert), end; i != end; ++i) found.insert(i->str());
  return found;
}

std::string show(const std::wstring& text) { return qvtest::narrow(text); }

// The state is created on first use; this is the first test of the program
// and nothing before it touches the language.
TEST(LanguageState, StartsInFrench) {
  const qv::language_state& state = qv::get_language_state();
  EXPECT_EQ(state.index, 0);
  EXPECT_EQ(state.mask, 1u);
  EXPECT_EQ(LANGIDFROMLCID(state.locale), 1036);
  EXPECT_FALSE(state.right_to_left);
  EXPECT_EQ(::GetThreadLocale(), state.locale);
  EXPECT_EQ(LoadMessage(1000), L"Installeur");
}

TEST(Catalogue, EveryBlockHoldsExactlyTheMessagesOfTheTable) {
  const std::vector<unsigned> numbers = message_numbers();
  for (int n = 0; n < kLanguageCount; ++n) {
    SCOPED_TRACE(testing::Message() << "language " << n << ", block " << LanguageBlock(n));
    const unsigned block = LanguageBlock(n);
    for (unsigned m = 1000; m < 2000; ++m) {
      bool listed = std::find(numbers.begin(), numbers.end(), m) != numbers.end();
      EXPECT_EQ(!resource_text(m - 1000 + block).empty(), listed) << "message " << m;
    }
  }
}

TEST(Catalogue, BlocksCarryTheirOwnLanguage) {
  for (int n = 0; n < kLanguageCount; ++n) {
    SCOPED_TRACE(testing::Message() << "language " << n);
    for (unsigned m : message_numbers()) {
      unsigned id = m - 1000 + LanguageBlock(n);
      HRSRC found = ::FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), qv::language_id(n));
      EXPECT_NE(found, nullptr) << "message " << m;
    }
  }
}

TEST(Catalogue, LanguagesWithTextsTranslateEveryMessageWithTheEnglishPlaceholders) {
  for (int n = 0; n < kLanguageCount; ++n) {
    if (!HasInstallerTexts(n)) continue;
    SCOPED_TRACE(testing::Message() << "language " << n);
    for (unsigned m : message_numbers()) {
      const std::wstring text = text_of(n, m), english = text_of(1, m);
      EXPECT_NE(text, L"#") << "message " << m;
      EXPECT_EQ(placeholders(text), placeholders(english)) << "message " << m << ": " << show(text);
      // The exit question keeps its two line breaks, as real CR LF.
      size_t breaks = 0;
      for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", at + 2)) ++breaks;
      EXPECT_EQ(breaks, m == 1110 ? 2u : 0u) << "message " << m;
      EXPECT_EQ(text.find(L"\\r"), std::wstring::npos) << "message " << m;
      // A translation of its own (only the button words may coincide).
      if (n > 1 && text == english && m != 1001 && m != 1011)
        ADD_FAILURE() << "message " << m << " of language " << n << " is the English text: " << show(text);
    }
  }
}

TEST(Catalogue, LanguagesWithoutTextsHoldOnlyButtonWords) {
  const std::set<unsigned> buttons = {1001, 1002, 1004, 1005, 1006, 1007};
  const std::set<int> with_buttons = {5, 6, 12, 13, 16};  // Dutch, Danish, Czech, Norwegian, Hebrew
  for (int n = 0; n < kLanguageCount; ++n) {
    if (HasInstallerTexts(n)) continue;
    SCOPED_TRACE(testing::Message() << "language " << n);
    for (unsigned m : message_numbers()) {
      bool translated = with_buttons.count(n) && buttons.count(m);
      if (translated)
        EXPECT_NE(text_of(n, m), L"#") << "message " << m;
      else
        EXPECT_EQ(text_of(n, m), L"#") << "message " << m;
    }
  }
}

// Texts whose exact form matters: spacing, line breaks, non-ASCII letters.
TEST(Catalogue, FrenchAndEnglishTextsAreExact) {
  struct exact_case {
    unsigned m;
    const wchar_t* english;
    const wchar_t* french;
  };
  const exact_case cases[] = {
      {1000, L"Installer", L"Installeur"},
      {1003, L"About '%1'", L"\u00c0 propos de '%1'"},
      {1005, L"Back", L"Pr\u00e9c\u00e9dent"},
      {1012, L"Failed", L"\u00c9chec"},
      {1014, L"Select Installation Langage", L"S\u00e9lectionnez la langue d'installation"},
      {1104, L"Do you confirm Reinstallation ?", L"Souhaitez-vous vraiment effectuer une r\u00e9installation ?"},
      {1110, L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?",
       L"L'installation n'est pas achev\u00e9e.\r\n\r\n\u00cates-vous certain de vouloir quitter l'installeur ?"},
      {1112, L"Create a Shortcut in the following Menu:", L"Cr\u00e9er un raccourci dans le menu suivant\u00a0:"},
      {1115, L"Copying File  %1...", L"Copie du fichier %1..."},
      {1123, L"Installation Folder: %1.", L"Dossier d'installation\u00a0: %1."},
      {1126, L"You should have Administrator Rights in order to proceed to Installation.",
       L"Vous devez disposer de privil\u00e8ges d'administrateur sur cet ordinateur pour pouvoir effectuer "
       L"l'installation."},
      {1129,
       L"'%1' will be installed in the selected Langage, but the Installer, still under translation,  shall run in "
       L"English.",
       L"'%1' sera install\u00e9 dans la langue choisie, mais l'installeur, en cours de traduction, s'ex\u00e9cutera en "
       L"fran\u00e7ais."},
  };
  for (const exact_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message " << c.m);
    EXPECT_EQ(text_of(1, c.m), c.english);
    EXPECT_EQ(text_of(0, c.m), c.french);
  }
}

TEST(Catalogue, NonAsciiTextsSurviveTheResourceCompiler) {
  // One letter outside Latin-1 per script the catalogue uses.
  EXPECT_NE(text_of(9, 1004).find(L'\u0219'), std::wstring::npos) << "Romanian s with comma below";
  EXPECT_NE(text_of(7, 1002).find(L'\u0130'), std::wstring::npos) << "Turkish capital dotted I";
  EXPECT_EQ(text_of(2, 1005), L"Zur\u00fcck");
  EXPECT_EQ(text_of(16, 1002), L"\u05d1\u05d9\u05d8\u05d5\u05dc") << "Hebrew";
}

// ---------------------------------------------------------------- lookup over the real catalogue

TEST(Lookup, EveryLanguageShowsItsOwnTextOrEnglish) {
  for (int n = 0; n < kLanguageCount; ++n) {
    SCOPED_TRACE(testing::Message() << "language " << n);
    qv::set_language(n);
    int shown = HasInstallerTexts(n) ? n : 1;
    for (unsigned m : message_numbers()) {
      EXPECT_EQ(GetMessageId(m), m - 1000 + LanguageBlock(shown)) << "message " << m;
      EXPECT_EQ(LoadMessage(m), text_of(shown, m)) << "message " << m;
    }
  }
  qv::set_language(0);
}

TEST(Lookup, InstallerTitle) {
  struct title_case {
    int n;
    const wchar_t* title;
  };
  const title_case cases[] = {{0, L"Installeur"}, {1, L"Installer"}, {15, L"Installer"}, {2, L"Installationsprogramm"}};
  for (const title_case& c : cases) {
    SCOPED_TRACE(testing::Message() << "language " << c.n);
    qv::set_language(c.n);
    EXPECT_EQ(GetInstallerTitle(false), c.title);
    // Blank, en dash U+2013, blank, the long product label.
    EXPECT_EQ(GetInstallerTitle(true), std::wstring(c.title) + L" \x2013 Tavimora 2.31t");
  }
  qv::set_language(1);
  const std::wstring title = GetInstallerTitle(true);
  ASSERT_EQ(title.size(), 26u);
  EXPECT_EQ(title[9], L' ');
  EXPECT_EQ(static_cast<unsigned>(title[10]), 0x2013u);
  EXPECT_EQ(title[11], L' ');
  qv::set_language(0);
}

TEST(Lookup, FormattedMessages) {
  qv::set_language(1);
  EXPECT_EQ(FormatMessageText(1101, L"2.30", L"2.31t"), L"Update from '2.30' to '2.31t'.");
  EXPECT_EQ(FormatMessageText(1127, L"Tavimora"), L"You should close 'Tavimora' before continuing Installation.");
  qv::set_language(2);
  EXPECT_EQ(FormatMessageText(1105, L"Weiter", L"Abbrechen"),
            L"Klicken Sie auf 'Weiter', um fortzufahren, oder auf 'Abbrechen', um die Installation zu beenden.");
  qv::set_language(0);
  EXPECT_EQ(FormatMessageText(1110), L"L'installation n'est pas achev\u00e9e.\r\n\r\n\u00cates-vous certain de vouloir "
                                     L"quitter l'installeur ?");
}

// ---------------------------------------------------------------- flags

struct icon_holder {
  HICON icon;
  ~icon_holder() {
    if (icon) ::DestroyIcon(icon);
  }
};

#pragma pack(push, 2)
struct group_icon_entry {
  BYTE width, height, colours, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
struct group_icon_header {
  WORD reserved, type, count;
  group_icon_entry entries[1];
};
#pragma pack(pop)

TEST(Flags, EveryLanguageHasAnIconOfOneImage18By12In24Bit) {
  std::set<unsigned> icons;
  for (int n = 0; n < kLanguageCount; ++n) {
    SCOPED_TRACE(testing::Message() << "language " << n << ", icon " << LanguageFlagIcon(n));
    const unsigned id = LanguageFlagIcon(n);
    icons.insert(id);
    HRSRC group = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    ASSERT_GE(::SizeofResource(nullptr, group), sizeof(group_icon_header));
    const auto* header = static_cast<const group_icon_header*>(::LockResource(::LoadResource(nullptr, group)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->count, 1);
    EXPECT_EQ(header->entries[0].width, 18);
    EXPECT_EQ(header->entries[0].height, 12);
    EXPECT_EQ(header->entries[0].bit_count, 24);
    // The list loads them at 16 x 12.
    icon_holder icon{static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON, 16,
                                                     12, LR_DEFAULTCOLOR))};
    EXPECT_NE(icon.icon, nullptr);
  }
  EXPECT_EQ(icons.size(), 20u) << "one icon per language";
  EXPECT_EQ(*icons.begin(), 141u);
  EXPECT_EQ(*icons.rbegin(), 161u);
  EXPECT_EQ(icons.count(159), 0u);
  EXPECT_EQ(::FindResourceW(nullptr, MAKEINTRESOURCEW(159), RT_GROUP_ICON), nullptr);
}

}  // namespace
