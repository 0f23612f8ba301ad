#include "guikit/CtrlUtil.h"

#include "desklogic/PageLogic.h"
#include "driver/Catalogue.h"
#include "driver/Format.h"
#include "driver/Texts.h"
#include "guikit/MessageBox.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QValidator>
#include <QWidget>

#include <algorithm>

int CtrlIdOf(const QObject* obj) {
    const QVariant v = obj->property("ctrlId");
    return v.isValid() ? v.toInt() : 0;
}

void MarkCtrlScope(QWidget* w) {
    w->setProperty("ctrlScope", true);
}

QObject* FindCtrlObject(const QObject* root, int id) {
    for (QObject* child : root->children()) {
        if (CtrlIdOf(child) == id)
            return child;
        if (auto* w = qobject_cast<QWidget*>(child))
            if (w->isWindow() || w->property("ctrlScope").toBool())
                continue;
        if (QObject* found = FindCtrlObject(child, id))
            return found;
    }
    return nullptr;
}

namespace {

std::string WidgetValue(const QWidget* w) {
    if (auto* e = qobject_cast<const QLineEdit*>(w))
        return e->text().toStdString();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->isCheckable() ? (b->isChecked() ? "1" : "0") : b->text().toStdString();
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return std::to_string(c->currentIndex());
    if (auto* s = qobject_cast<const QAbstractSlider*>(w))
        return std::to_string(s->value());
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text().toStdString();
    return {};
}

// Bounds what the user types into one edit. The tool's own setText is told
// apart by the edit's modified flag, which setText clears and every user edit
// sets before the change is validated. Chains a validator the edit had.
class CTypingLimit : public QValidator {
public:
    CTypingLimit(QLineEdit* edit, int limit)
        : QValidator(edit), m_edit(edit), m_limit(limit), m_inner(edit->validator()),
          m_last(edit->text()) {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& t) { m_last = t; });
    }

    void SetLimit(int limit) { m_limit = limit; }

    State validate(QString& input, int& pos) const override {
        const State state = m_inner ? m_inner->validate(input, pos) : Acceptable;
        if (state == Invalid || m_limit <= 0 || !m_edit->isModified())
            return state;
        // A text longer than the limit (shown by the tool) may shrink, not grow.
        const qsizetype allowed = std::max<qsizetype>(m_limit, m_last.size());
        if (input.size() <= allowed)
            return state;
        // What was typed or pasted ends at the cursor: keep what fits of it.
        const qsizetype excess = input.size() - allowed;
        if (pos < excess)
            return Invalid;
        QString cut = input.left(pos - excess) + input.mid(pos);
        if (cut == m_last)
            return Invalid; // nothing fits: the edit undoes the change
        input = cut;
        pos -= static_cast<int>(excess);
        return state;
    }

    void fixup(QString& input) const override {
        if (m_inner)
            m_inner->fixup(input);
    }

private:
    QLineEdit* m_edit; // parent
    int m_limit;
    QPointer<const QValidator> m_inner;
    QString m_last; // the edit's text before the change being validated
};

void Show(QWidget* w, const std::string& value) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(QString::fromStdString(value));
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->isCheckable())
            b->setChecked(value == "1");
        else
            b->setText(QString::fromStdString(value));
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        c->setCurrentIndex(ParseLeadingInt(value));
    } else if (auto* s = qobject_cast<QAbstractSlider*>(w)) {
        s->setValue(ParseLeadingInt(value));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(QString::fromStdString(value));
    }
}

} // namespace

CtrlValues TakeValues(const QWidget* root, const std::vector<int>& ids) {
    CtrlValues values;
    for (int id : ids)
        if (const QWidget* w = FindCtrl<QWidget>(root, id))
            values[id] = WidgetValue(w);
    return values;
}

void PutValues(QWidget* root, const CtrlValues& values) {
    for (const auto& [id, value] : values)
        if (QWidget* w = FindCtrl<QWidget>(root, id))
            Show(w, value);
}

std::string CtrlValue(const QWidget* root, int id) {
    const QWidget* w = FindCtrl<QWidget>(root, id);
    return w ? WidgetValue(w) : std::string();
}

void SetCtrlValue(QWidget* root, int id, const std::string& text) {
    if (QWidget* w = FindCtrl<QWidget>(root, id))
        Show(w, text);
}

std::string CtrlValue(const QWidget* ctrl) {
    return WidgetValue(ctrl);
}

void SetCtrlValue(QWidget* ctrl, const std::string& value) {
    Show(ctrl, value);
}

void SetTypingLimit(QLineEdit* edit, int limit) {
    // Qt's own limit would cut what the tool shows.
    edit->setMaxLength(32767);
    if (auto* guard = dynamic_cast<CTypingLimit*>(const_cast<QValidator*>(edit->validator()))) {
        guard->SetLimit(limit);
        return;
    }
    if (limit > 0)
        edit->setValidator(new CTypingLimit(edit, limit));
}

void LimitTypingOnly(QWidget* root) {
    for (QLineEdit* edit : root->findChildren<QLineEdit*>())
        if (edit->maxLength() < 32767)
            SetTypingLimit(edit, edit->maxLength());
}

void NoDefaultButtons(QWidget* root) {
    for (QPushButton* button : root->findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QComboBox* combo : root->findChildren<QComboBox*>())
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
}

void FillComboFromField(QWidget* root, int comboId, uint16_t reg) {
    auto* combo = FindCtrl<QComboBox>(root, comboId);
    if (!combo)
        return;
    combo->clear();
    for (const std::string& item : FieldItems(reg))
        combo->addItem(QString::fromStdString(CatalogueText(item)));
    combo->setProperty("catalogueField", reg);
    combo->setCurrentIndex(-1);
}

void RetranslateFieldLists(QWidget* root) {
    for (QComboBox* combo : root->findChildren<QComboBox*>()) {
        const QVariant reg = combo->property("catalogueField");
        if (!reg.isValid())
            continue;
        const std::vector<std::string> items = FieldItems(static_cast<uint16_t>(reg.toUInt()));
        for (int i = 0; i < combo->count() && i < static_cast<int>(items.size()); ++i)
            combo->setItemText(
                i, QString::fromStdString(CatalogueText(items[static_cast<size_t>(i)])));
    }
}

namespace {
const QEvent::Type kLanguageTaken = static_cast<QEvent::Type>(QEvent::registerEventType());

class CLanguageWatch : public QObject {
public:
    CLanguageWatch(QWidget* w, std::function<void()> fn, bool after)
        : QObject(w), m_fn(std::move(fn)), m_bAfter(after) {
        w->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != parent() || event->type() != QEvent::LanguageChange)
            return false;
        if (!m_bAfter)
            m_fn();
        else if (!m_bPending) {
            // The window learns of the change before its children do.
            m_bPending = true;
            QCoreApplication::postEvent(this, new QEvent(kLanguageTaken));
        }
        return false;
    }
    bool event(QEvent* event) override {
        if (event->type() != kLanguageTaken)
            return QObject::event(event);
        m_bPending = false;
        m_fn();
        return true;
    }

private:
    std::function<void()> m_fn;
    bool m_bAfter;
    bool m_bPending = false;
};
} // namespace

void OnLanguageChange(QWidget* w, std::function<void()> fn) {
    new CLanguageWatch(w, std::move(fn), false);
}

void AfterLanguageChange(QWidget* w, std::function<void()> fn) {
    new CLanguageWatch(w, std::move(fn), true);
}

void FinishLanguageChange() {
    QCoreApplication::sendPostedEvents(nullptr, kLanguageTaken);
}

void FitHeadings(QHeaderView* header) {
    // The widths the window was made with are kept for the language that
    // needs no more: back in Chinese, the English widths go.
    QList<QVariant> made = header->property("madeWidths").toList();
    if (made.size() != header->count()) {
        made.clear();
        for (int i = 0; i < header->count(); ++i)
            made.append(header->sectionSize(i));
        header->setProperty("madeWidths", made);
    }
    for (int i = 0; i < header->count(); ++i)
        if (!header->isSectionHidden(i))
            header->resizeSection(i, std::max(made[i].toInt(), header->sectionSizeHint(i)));
}

namespace {
// Hidden pages and windows do not tell their layouts that their texts
// changed size; the tool windows this one owns size themselves.
void RelayOut(QWidget* window) {
    for (QLayout* layout : window->findChildren<QLayout*>())
        if (!layout->parentWidget() || layout->parentWidget()->window() == window)
            layout->invalidate();
    if (window->layout())
        window->layout()->activate();
}
} // namespace

void FixSizeToLayout(QWidget* window) {
    // A list's width follows its items when a language renames them.
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    RelayOut(window);
    window->setFixedSize(window->sizeHint().expandedTo(window->minimumSizeHint()));
}

void GrowToLayout(QWidget* window) {
    RelayOut(window);
    window->resize(window->size().expandedTo(window->sizeHint()));
}

bool RefuseInput(QWidget* root, const SInputProblem& problem) {
    if (!problem.Has())
        return false;
    ShowMessage(root, problem.message);
    QWidget* w = FindCtrl<QWidget>(root, problem.ctrl);
    if (!w)
        return true;
    w->setProperty("inputRefused", true);
    w->setStyleSheet("border: 2px solid #d00000;");
    w->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        edit->selectAll();
        QObject::connect(
            edit, &QLineEdit::textChanged, edit,
            [edit] {
                edit->setProperty("inputRefused", false);
                edit->setStyleSheet({});
            },
            Qt::SingleShotConnection);
    }
    return true;
}

bool IsMarkedRefused(const QWidget* root, int ctrl) {
    const QWidget* w = FindCtrl<QWidget>(root, ctrl);
    return w && w->property("inputRefused").toBool();
}
