#pragma once
// Every text a person reads is written in Chinese, the source language, and
// shown in the language the surface chose. Below the desktop surface there is
// no Qt: a text there is marked with QT_TRANSLATE_NOOP (in tables) or handed
// to lang::translate with its context, both of which lupdate collects into
// res/translations/*.ts. The surface installs the translator: the desktop
// tool Qt's (QCoreApplication::translate), halvik-cli the English table built
// from the .ts file (EnglishTable.h). Without one the Chinese source is shown.
//
// Contexts below the surface are named after their layer ("driver/Catalogue",
// "modbus/ResultText"): halvik-cli's table holds those of serial/, modbus/
// and driver/.
//
// Data is never translated: the configuration file, the catalogue's list
// texts as a file or a command names them, and JSON keys stay as they are.

#include <initializer_list>
#include <string>

#ifndef QT_TRANSLATE_NOOP
// Spelt as Qt spells it, so that either definition may come first.
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace lang {

// Puts the translation of source in context into text; false to show the
// source. Called from any thread.
using Translator = bool (*)(const char* context, const char* source, std::string& text);
// Installs the translator for every thread (nullptr: the Chinese source).
void SetTranslator(Translator translator);

// The text in the language in use.
std::string translate(const char* context, const char* source);
// "%1".."%9" in text replaced by args, in whatever order the text has them.
std::string Args(std::string text, std::initializer_list<std::string> args);

} // namespace lang
