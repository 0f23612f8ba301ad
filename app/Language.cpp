#include "app/Language.h"

#include "guikit/CtrlUtil.h"
#include "lang/Tr.h"

#include <QActionGroup>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QSettings>
#include <QTranslator>
#include <QWidget>

static void LoadTranslations() {
    static bool loaded = false;
    if (!loaded) {
        Q_INIT_RESOURCE(halvik_i18n);
        loaded = true;
    }
}

namespace {

ELanguage g_language = ELanguage::Chinese;

// The layers below the surface translate through Qt's translators too.
bool QtTranslate(const char* context, const char* source, std::string& text) {
    text = QCoreApplication::translate(context, source).toStdString();
    return true;
}

QSettings Settings() {
    return QSettings("Halvik", "halvik-demo");
}

} // namespace

ELanguage PreferredLanguage() {
    const QString chosen = Settings().value("language").toString();
    if (chosen == "en")
        return ELanguage::English;
    if (chosen == "zh")
        return ELanguage::Chinese;
    return QLocale::system().language() == QLocale::English ? ELanguage::English
                                                            : ELanguage::Chinese;
}

ELanguage CurrentLanguage() {
    return g_language;
}

void SetLanguage(ELanguage language) {
    // The tool's texts are Chinese and Qt's English: each language needs
    // one translation, the other's source is shown as it is.
    LoadTranslations();
    static QTranslator tool, qt;
    QCoreApplication::removeTranslator(&tool);
    QCoreApplication::removeTranslator(&qt);
    g_language = language;
    lang::SetTranslator(&QtTranslate);
    if (language == ELanguage::English) {
        if (tool.load(":/i18n/halvik_en.qm"))
            QCoreApplication::installTranslator(&tool);
    } else if (qt.load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(&qt);
    }
    // The application hands the change on to every window as an event of
    // its own: both rounds are delivered here, so the caller sees the result.
    for (int round = 0; round < 2; ++round)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    for (QWidget* w : QApplication::topLevelWidgets())
        RetranslateFieldLists(w);
    FinishLanguageChange();
}

void AddLanguageMenu(QMenu* menu, QAction* before) {
    // In both languages, so that either reader finds the way back.
    auto* sub = new QMenu("语言 / Language", menu);
    menu->insertMenu(before, sub);
    auto* group = new QActionGroup(sub);
    const std::pair<ELanguage, const char*> choices[] = {{ELanguage::Chinese, "中文"},
                                                         {ELanguage::English, "English"}};
    for (const auto& [language, name] : choices) {
        QAction* action = sub->addAction(name);
        action->setCheckable(true);
        group->addAction(action);
        QObject::connect(sub, &QMenu::aboutToShow, action, [action, language = language] {
            action->setChecked(CurrentLanguage() == language);
        });
        QObject::connect(action, &QAction::triggered, sub, [language = language] {
            Settings().setValue("language", language == ELanguage::English ? "en" : "zh");
            SetLanguage(language);
        });
    }
}
