#pragma once
// The language the desktop tool is shown in: Chinese, the source, or
// English. The user chooses it under 帮助 → "语言 / Language" (remembered
// with QSettings); without a choice the system's language decides. A switch
// installs the tool's translation and Qt's own, and every window retranslates
// itself on the LanguageChange event that follows (OnLanguageChange).

class QMenu;
class QAction;

enum class ELanguage { Chinese, English };

// The user's remembered choice, else English when the system's language is.
ELanguage PreferredLanguage();
// Shows the whole application in the language; the windows have changed
// when it returns.
void SetLanguage(ELanguage language);
ELanguage CurrentLanguage();
// The submenu "语言 / Language" (中文, English) before the action before:
// choosing one switches at once and is remembered.
void AddLanguageMenu(QMenu* menu, QAction* before);
