// The one place where scripts for pages are written: guarded calls of page functions, their
// quoted arguments, and the toasts. Nothing else in the program spells these texts by hand.
#pragma once

#include <string>
#include <string_view>

namespace cvl::PageScript {

// if(window.F){try{F(ARGS)}catch(e){}} — a page without F ignores it. `args` is the argument
// list as script text (JSON literals, or texts made by quote() or single()).
std::string call(std::string_view function, std::string_view args);
// The same, with a statement run instead when the page has no F:
// if(window.F){try{F(ARGS)}catch(e){}}else{OTHERWISE}
std::string callElse(std::string_view function, std::string_view args, std::string_view otherwise);
// The same for a member function of a page object:
// if(window.O&&O.M){try{O.M(ARGS)}catch(e){}}
std::string callMember(std::string_view object, std::string_view member, std::string_view args);
// A text as a double-quoted JSON string literal.
std::string quote(std::string_view text);
// A text as a single-quoted script string, escaped for it.
std::string single(std::string_view text);
// window.__cvlToast && __cvlToast("TEXT"): the page's short notice.
std::string toast(std::string_view text);
// cvlToast("TEXT", ERROR): the toast some tool flows use, with its error flag.
std::string cvlToast(std::string_view text, bool isError);
// An expression evaluated for its value: its result as text, or null when it throws.
// (function(){try{return EXPR}catch(e){return null}})()
std::string valueOf(std::string_view expression);
// What page function F returns for ARGS; null when the page has no F or F throws.
// (function(){try{return window.F?F(ARGS):null}catch(e){return null}})()
std::string valueOfCall(std::string_view function, std::string_view args);
// The JSON text of what page function F returns for ARGS: null when the page has no F or F
// throws. (function(){try{return window.F?JSON.stringify(F(ARGS)):null}catch(e){return null}})()
std::string resultOf(std::string_view function, std::string_view args);
// A short line over the top of the page that removes itself after 2.5 s (one at a time: a
// second banner replaces the first's text).
std::string banner(std::string_view text);

}  // namespace cvl::PageScript
