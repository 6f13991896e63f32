#pragma once
// The built-in message catalogue: one table of UTF-8 texts per language. Row 0 is the
// language code compared with LANG, rows 1 to 38 the messages, then a null entry.

constexpr int kMessageRowCount = 39;  // rows 0 to 38
constexpr int kLanguageCount = 22;

extern const char* const unixlauncher_msg_en[];
extern const char* const unixlauncher_msg_cs[];
extern const char* const unixlauncher_msg_da[];
extern const char* const unixlauncher_msg_de[];
extern const char* const unixlauncher_msg_el[];
extern const char* const unixlauncher_msg_es[];
extern const char* const unixlauncher_msg_fi[];
extern const char* const unixlauncher_msg_fr[];
extern const char* const unixlauncher_msg_hu[];
extern const char* const unixlauncher_msg_it[];
extern const char* const unixlauncher_msg_ja[];
extern const char* const unixlauncher_msg_ko[];
extern const char* const unixlauncher_msg_nl[];
extern const char* const unixlauncher_msg_no[];
extern const char* const unixlauncher_msg_pl[];
extern const char* const unixlauncher_msg_pt[];
extern const char* const unixlauncher_msg_pt_BR[];
extern const char* const unixlauncher_msg_ru[];
extern const char* const unixlauncher_msg_sv[];
extern const char* const unixlauncher_msg_tr[];
extern const char* const unixlauncher_msg_zh[];
extern const char* const unixlauncher_msg_zh_TW[];

// The tables in matching order (English first, the default), then a null entry.
extern const char* const* const msg_locale_table[];

// The character set customary for the language of table `index` when LANG names none.
const char* customaryCodeset(int index);
