#include "window/HostPages.h"

#include "platform/TextEscape.h"

namespace cvl::HostPages {
namespace {

const char* kSchemeStyle = R"(<meta name="color-scheme" content="light dark">
<style>
:root{color-scheme:light dark;--bg:#f6f5f2;--fg:#1d1d1f;--dim:#6e6e73;--accent:#3a6ea5}
@media (prefers-color-scheme: dark){:root{--bg:#1c1c1e;--fg:#f2f2f7;--dim:#98989d;--accent:#7fb0e6}}
html,body{height:100%;margin:0;background:var(--bg);color:var(--fg);
font:15px/1.45 system-ui,-apple-system,"Segoe UI",Cantarell,"DejaVu Sans",sans-serif}
main{height:100%;display:flex;flex-direction:column;align-items:center;justify-content:center;gap:14px}
h1{font-size:22px;font-weight:600;margin:0}
a{color:var(--accent);text-decoration:none}a:hover{text-decoration:underline}
.dim{color:var(--dim)}
</style>)";

}  // namespace

std::string loadingHTML(const std::string& brandName, bool reloadsItself) {
    const std::string name = htmlEscape(brandName);
    return std::string("<!doctype html><html><head><meta charset=\"utf-8\"><title>") + name +
           " · preparing…</title>" + kSchemeStyle + R"(<style>
.ring{width:44px;height:44px;border-radius:50%;border:4px solid color-mix(in srgb,var(--accent) 25%,transparent);
border-top-color:var(--accent);animation:spin 1s linear infinite}
@keyframes spin{to{transform:rotate(360deg)}}
</style></head><body><main><div class="ring"></div><h1>)" +
           name + R"(</h1><div id="status" class="dim"></div>
<a href="qrtiz://cancel">Cancel</a></main>
<script>
var msgs=["Taking a tamber…","Gathering your files…","Looking everything over…","Lining up your review…","Bringing the best forward…"];
function show(){document.getElementById('status').textContent=msgs[Math.floor(Date.now()/1500)%5]}
show();
)" +
           std::string(
               reloadsItself
                   ? "setTimeout(function(){location.replace(location.href.split('?')[0]+'?_='+"
                     "Date.now());},1400);"
                   : "setInterval(show,1500);") +
           "\n</script></body></html>";
}

std::string cancelledHTML(const std::string& brandName) {
    const std::string name = htmlEscape(brandName);
    return std::string("<!doctype html><html><head><meta charset=\"utf-8\"><title>") + name +
           "</title>" + kSchemeStyle + R"(</head><body><main><h1>)" + name +
           R"(</h1><div>Review canceled. What next?</div>
<div><a href="qrtiz://retry">Try this folder again</a></div>
<div><a href="qrtiz://adjust">Change what's included…</a></div>
<div><a href="qrtiz://open">Open a different folder…</a></div>
<div><a href="qrtiz://prefs">Preferences…</a></div>
<div class="dim">or just close this window (Ctrl+W)</div></main></body></html>)";
}

}  // namespace cvl::HostPages
