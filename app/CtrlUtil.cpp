#include "app/CtrlUtil.h"

#include "driver/Format.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

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
