#pragma once
// Controls carry their numeric ID as the dynamic property "ctrlId" (set in the
// .ui layouts). Handlers and tests find controls by that ID, and page values
// move between controls and plain page logic as text keyed by ID.

#include "desklogic/CtrlValues.h"

#include <QObject>

#include <cstdint>
#include <functional>

#include <string>
#include <vector>

class QLineEdit;
class QHeaderView;
class QWidget;

// The ID a control carries, or 0.
int CtrlIdOf(const QObject* obj);

// Pages and separate windows number their controls on their own, so a search
// does not descend into a child window or a child marked as a scope (the main
// window marks its pages).
void MarkCtrlScope(QWidget* w);

// The object below root carrying this ID (widgets and menu actions), or nullptr.
QObject* FindCtrlObject(const QObject* root, int id);
template <class T> T* FindCtrl(const QObject* root, int id) {
    return qobject_cast<T*>(FindCtrlObject(root, id));
}

// Reads the current values of the controls with these IDs (missing IDs are
// left out).
CtrlValues TakeValues(const QWidget* root, const std::vector<int>& ids);
// Shows the values in their controls.
void PutValues(QWidget* root, const CtrlValues& values);

// One control's value as above ("" when absent), and showing one.
std::string CtrlValue(const QWidget* root, int id);
void SetCtrlValue(QWidget* root, int id, const std::string& value);
// The same for a control at hand (a window's uic member).
std::string CtrlValue(const QWidget* ctrl);
void SetCtrlValue(QWidget* ctrl, const std::string& value);

// An edit's character limit bounds what the user types, never what the tool
// shows: a value read from the driver is shown whole, and a configure without
// a change writes back what was read. QLineEdit::setMaxLength cuts setText
// too, so layouts give the limit as maxLength and every page or dialog calls
// LimitTypingOnly(this) right after setupUi: each edit below it then keeps
// its maxLength as a typing limit only. Typing or pasting stops at the limit
// (a paste is cut to what fits); a longer text put in by the tool stays whole
// and can be shortened but not lengthened. Call it again for edits created
// later; an edit that gets its own validator afterwards loses the limit.
void LimitTypingOnly(QWidget* root);
// The same for one edit with a limit given in code (0: no limit).
void SetTypingLimit(QLineEdit* edit, int limit);

// Enter in an edit leaves what was typed: no push button below root is a
// default button or becomes one when it has the focus (QDialog makes its
// buttons auto-default, and Enter would run the first one shown, a read or a
// clear). Call it once the buttons exist; the scan, compare and progress
// windows say so in their layouts. The same walk makes every selection list
// below root follow its items (AdjustToContents), so that a longer language
// is not cut; the main window's call covers its pages and the tool windows
// made with it, and a window made later sets its own lists.
void NoDefaultButtons(QWidget* root);

// Fills a selection list with the catalogue items of the field at register
// reg (driver/Catalogue.h), replacing whatever it held; no item is selected.
void FillComboFromField(QWidget* root, int comboId, uint16_t reg);
// Shows the lists FillComboFromField filled under root in the language in use.
void RetranslateFieldLists(QWidget* root);
// Runs fn on every change of the application's language, as w learns of it
// (its LanguageChange event): a window's layout texts (retranslateUi) and the
// texts it set itself.
void OnLanguageChange(QWidget* w, std::function<void()> fn);
// Runs fn once the whole tool has taken a new language, every window and page
// retranslated: for what depends on the size of the texts.
void AfterLanguageChange(QWidget* w, std::function<void()> fn);
// Runs the AfterLanguageChange calls due now rather than from the event loop.
void FinishLanguageChange();
// Gives the window the size its layout asks for and keeps it there. Unlike
// adjustSize, not bounded by the screen: a text cut is worse than a large
// window. (The lists follow their items: NoDefaultButtons.)
void FixSizeToLayout(QWidget* window);
// Makes a resizable window at least as large as its layout asks for.
void GrowToLayout(QWidget* window);
// Widens the columns whose heading would be cut; wider ones are kept.
void FitHeadings(QHeaderView* header);

struct SInputProblem;
// Tells the user why a page's input cannot be written (one OK box) and marks
// the control holding it (focused, its text selected, a red frame until its
// text changes, typed or read anew). False, and nothing shown, when there is no problem.
bool RefuseInput(QWidget* root, const SInputProblem& problem);
// Whether the control is marked as holding refused input.
bool IsMarkedRefused(const QWidget* root, int ctrl);
