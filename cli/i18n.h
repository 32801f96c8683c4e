// Message lookup in the program's text domain (bound by textdomain at start-up).
#pragma once

#include <libintl.h>
#include <locale.h>

inline const char* tr(const char* text) { return dcgettext(nullptr, text, LC_MESSAGES); }
