#include "lang/Tr.h"

#include <atomic>

namespace lang {

namespace {
std::atomic<Translator> g_translator{nullptr};
}

void SetTranslator(Translator translator) {
    g_translator = translator;
}

std::string translate(const char* context, const char* source) {
    std::string text;
    if (const Translator t = g_translator; t && t(context, source, text))
        return text;
    return source;
}

std::string Args(std::string text, std::initializer_list<std::string> args) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '1') : args.size();
        if (text[i] == '%' && n < args.size()) {
            out += *(args.begin() + n);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace lang
