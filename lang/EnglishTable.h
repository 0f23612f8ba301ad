#pragma once
// halvik-cli's English: the translations of the contexts below the desktop
// surface, made at build time from res/translations/halvik_en.ts
// (EnglishTable.cmake). A lang::Translator (Tr.h).

#include <string>

bool EnglishText(const char* context, const char* source, std::string& text);
