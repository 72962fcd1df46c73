#include "window/PageScript.h"

#include "platform/TextEscape.h"

namespace cvl::PageScript {

std::string call(std::string_view function, std::string_view args) {
    std::string f(function);
    return "if(window." + f + "){try{" + f + "(" + std::string(args) + ")}catch(e){}}";
}

std::string callElse(std::string_view function, std::string_view args, std::string_view otherwise) {
    return call(function, args) + "else{" + std::string(otherwise) + "}";
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

std::string valueOfCall(std::string_view function, std::string_view args) {
    const std::string f(function);
    return valueOf("window." + f + "?" + f + "(" + std::string(args) + "):null");
}

std::string resultOf(std::string_view function, std::string_view args) {
    const std::string f(function);
    return valueOf("window." + f + "?JSON.stringify(" + f + "(" + std::string(args) + ")):null");
}

std::string banner(std::string_view text) {
    return "(function(){var n=document.getElementById('__upd');if(!n){n=document.createElement("
           "'div');n.id='__upd';n.style.cssText='position:fixed;top:10px;left:50%;transform:"
           "translateX(-50%);z-index:99999;padding:6px 14px;border-radius:8px;background:rgba("
           "0,0,0,.75);color:#fff;font:13px system-ui,sans-serif';document.body.appendChild(n)}"
           "n.textContent=" +
           jsQuote(text) + ";setTimeout(function(){n.remove()},2500)})()";
}

}  // namespace cvl::PageScript
