// Message lookup in the program's text domain (bound by textdomain at start-up).
#pragma once

#include <libintl.h>
#include <locale.h>

inline const char* tr(const char* text) { return dcgettext(nullptr, text, LC_MESSAGES); }

// Marks a text that a table holds and code later passes to tr(), so that the
// message template extraction (keyword N_) finds it where it is written.
constexpr const char* N_(const char* text) { return text; }
