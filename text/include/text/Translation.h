#pragma once

// Words for people through the message catalogues of the domain "zezar": menu titles, status
// lines, reasons, tooltips, notices and zezarctl's output for people. The English text is the
// message id, so without a catalogue nothing changes. What programs read (files, JSON,
// metrics, the wire) never goes through here.
//
// Only the categories that words need follow the environment (messages and time); numbers
// keep the C locale, so that "1.5" stays "1.5" wherever a program reads it. Translations come
// in UTF-8, whatever the locale's character set.

#include <initializer_list>
#include <string>

// Marks a text for the catalogue where it is defined (a table); Tr translates it where shown.
#define N_(text) text

namespace text {

// Takes the user's language from the environment ($LANGUAGE, $LC_ALL, $LC_MESSAGES, $LANG)
// and finds the catalogues: installed beside the program, else in the build tree. Once, at
// the start of a program, before anything is translated.
void InitTranslations();

// From now on every text in English, the message ids: for output that programs read.
void UseEnglish();

// The text in the user's language.
const char* Tr(const char* i_pMessage);
// The form for i_count: the plural rules are the language's, not English's.
const char* TrPlural(const char* i_pSingular, const char* i_pPlural, unsigned long i_count);

// The text with "{1}", "{2}", ... replaced by the arguments in order of their numbers, so
// that a translation may put them in another order. "{{" is a "{".
std::string Format(const char* i_pPattern, std::initializer_list<std::string> i_arguments);

}  // namespace text
