#pragma once
// A page's values by control ID, as the user sees them: the text of an edit
// or label, "1" or "0" for a check box or radio button, the selected index of
// a combo box or a slider's position in decimal. Page logic converts these to
// and from register blocks without touching a widget (CtrlUtil.h moves them
// in and out of the controls).

#include <map>
#include <string>

using CtrlValues = std::map<int, std::string>;
