#include "updates/ZKSwap.h"

#include "platform/FileIO.h"

namespace cvl::ZKSwap {

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string script(const ZKSwapPlan& p) {
    const std::string q = shellQuote(p.destination);
    const std::string old = shellQuote(p.destination + ".old");
    const std::string work = shellQuote(p.workFolder);
    const std::string pid = std::to_string(p.pid);
    const int polls = p.waitSeconds * 10 / 3;
    std::string s;
    s += "LOG=" + shellQuote(p.logPath) + "\n";
    s += "log() { mkdir -p " + shellQuote(parentPath(p.logPath)) +
         " 2>/dev/null; printf '%s shim: %s\\n' \"$(date '+%Y-%m-%d %H:%M:%S')\" \"$1\" "
         ">>\"$LOG\"; }\n";
    s += "cd /\n";
    s += "n=0\n";
    if (p.pid > 0) {
        s += "while kill -0 " + pid + " 2>/dev/null; do\n";
        s += "  if [ \"$n\" -ge " + std::to_string(polls) + " ]; then\n";
        s += "    log " +
             shellQuote("pid " + pid + " still alive after " + std::to_string(p.waitSeconds) +
                        "s; swap abandoned, staged copy removed") +
             "\n";
        s += "    rm -rf " + work + "\n";
        s += "    exit 3\n";
        s += "  fi\n";
        s += "  sleep 0.3\n";
        s += "  n=$((n+1))\n";
        s += "done\n";
    }
    if (p.pid > 0)
        s += "log " + shellQuote("pid " + pid + " exited after ") + "\"$((n*3/10))\"" +
             shellQuote("s; swapping") + "\n";
    else
        s += "log 'no process to wait for; swapping'\n";
    s += "end=0\n";
    s += "rm -rf " + old + "\n";
    s += "mv -T " + q + " " + old + "\n";
    s += "rc=$?\n";
    s += "if [ $rc -ne 0 ]; then\n";
    s += "  log " + shellQuote("mv " + p.destination + " -> .old FAILED (exit ") + "\"$rc\"" +
         shellQuote("); nothing changed") + "\n";
    s += "  end=4\n";
    s += "else\n";
    s += "  " + shellQuote(p.copyTool) + " -a -T " + shellQuote(p.staged) + " " + q + "\n";
    s += "  rc=$?\n";
    s += "  if [ $rc -eq 0 ]; then\n";
    s += "    rm -rf " + old + "\n";
    s += "    log " + shellQuote("installed " + p.version + " (build ") + "\"$(cat " +
         shellQuote(p.destination + "/share/corvello/BUILD") + " 2>/dev/null)\"" + shellQuote(")") +
         "\n";
    s += "  else\n";
    s += "    log " + shellQuote("cp FAILED (exit ") + "\"$rc\"" +
         shellQuote("); restoring the previous install") + "\n";
    s += "    rm -rf " + q + "\n";
    s += "    mv -T " + old + " " + q + " || log " +
         shellQuote("restoring FAILED; the previous install is at " + p.destination + ".old") +
         "\n";
    s += "    end=5\n";
    s += "  fi\n";
    s += "fi\n";
    s += "rm -rf " + work + "\n";
    bool relaunch = p.relaunch != ZKRelaunch::None || p.restartUnit;
    s += "log " + shellQuote(relaunch ? "done; relaunch requested" : "done") + "\n";
    const std::string exe = shellQuote(p.destination + "/bin/corvello");
    if (p.restartUnit) {
        s += "systemctl --user restart " + shellQuote(*p.restartUnit) + " 2>/dev/null || true\n";
    } else if (p.relaunch == ZKRelaunch::Front) {
        s += exe + " </dev/null >/dev/null 2>&1 &\n";
    } else if (p.relaunch == ZKRelaunch::Background) {
        s += "ZK_BACKGROUND_LAUNCH=1 " + exe + " </dev/null >/dev/null 2>&1 &\n";
    }
    s += "exit $end\n";
    return s;
}

}  // namespace cvl::ZKSwap
