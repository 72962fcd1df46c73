#include "window/PageScript.h"

#include "platform/TextEscape.h"

namespace cvl::PageScript {

std::string call(std::string_view function, std::string_view args) {
    std::string f(function);
    return "if(window." + f + "){try{" + f + "(" + std::string(args) + ")}catch(e){}}";
}

std::string callMember(std::string_view object, std::string_view member, std::string_view args) {
    const std::string o(object);
    const std::string m = o + "." + std::string(member);
    return "if(window." + o + "&&" + m + "){try{" + m + "(" + std::string(args) + ")}catch(e){}}";
}

std::string quote(std::string_view text) {
    return jsQuote(text);
}

std::string single(std::string_view text) {
    return "'" + jsEsc(text) + "'";
}

std::string toast(std::string_view text) {
    return "window.__cvlToast && __cvlToast(" + jsQuote(text) + ")";
}

std::string cvlToast(std::string_view text, bool isError) {
    return call("cvlToast", jsQuote(text) + (isError ? ",true" : ",false"));
}

std::string valueOf(std::string_view expression) {
    return "(function(){try{return " + std::string(expression) + "}catch(e){return null}})()";
}

}  // namespace cvl::PageScript
