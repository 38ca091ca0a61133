// Wake-ups of the designer at rest: its main window shown, nothing playing, for 10 s. Every
// thread's context switches (voluntary + nonvoluntary, from /proc/self/task/*/status) are
// taken before and after. Counters: the tick thread's wake-ups (goal: 0), the whole
// process's per second (goal: under 5) and, per other thread name, its wake-ups per second.
// The tick thread is the one named "pixbar-tick", or else an unnamed one (named as the
// program) that the main window's constructor started. Needs a display: run it under Xvfb with
// QT_QPA_PLATFORM=xcb.

#include "designer_setup.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>

using namespace playerbench;
using namespace designerbench;

namespace {

constexpr int kRestMs = 10000;
constexpr char kTickThreadName[] = "pixbar-tick";

struct ThreadWakes {
    std::string name;
    long long switches = 0;
};

/// Context switches of every thread of this process, by thread id.
std::map<int, ThreadWakes> threadWakes() {
    std::map<int, ThreadWakes> out;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        ThreadWakes t;
        std::string line;
        while (std::getline(status, line)) {
            std::istringstream in(line);
            std::string key;
            in >> key;
            if (key == "Name:") {
                std::getline(in >> std::ws, t.name);
            } else if (key == "voluntary_ctxt_switches:" || key == "nonvoluntary_ctxt_switches:") {
                long long n = 0;
                in >> n;
                t.switches += n;
            }
        }
        out[std::stoi(task.path().filename().string())] = t;
    }
    return out;
}

/// A thread name as a counter name: letters and digits, the rest as '_'.
std::string counterName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

} // namespace

static void BM_DesignerAtRest(benchmark::State& state) {
    designerApp("bench_designer_idle");
    const DesignerFolder folder("pixbar-designer-idle");

    for (auto _ : state) {
        SilentPrompts prompts;
        const auto beforeForm = threadWakes();
        TForm1 form(prompts);
        std::set<int> tickThreads;
        const std::string programName = beforeForm.at(::getpid()).name;
        for (const auto& [tid, t] : threadWakes())
            if (t.name == kTickThreadName || (!beforeForm.count(tid) && t.name == programName))
                tickThreads.insert(tid);
        QString error;
        if (!form.FormCreate(&error)) {
            state.SkipWithError(error.toStdString().c_str());
            break;
        }
        form.show();
        idle(2000); // shown, painted and the start-up status line gone

        const auto first = threadWakes();
        idle(kRestMs);
        const auto last = threadWakes();

        const double seconds = kRestMs / 1000.0;
        long long total = 0;
        long long tick = 0;
        std::map<std::string, long long> byName;
        for (const auto& [tid, t] : last) {
            const auto was = first.find(tid);
            const long long n = t.switches - (was != first.end() ? was->second.switches : 0);
            total += n;
            if (tickThreads.count(tid))
                tick += n;
            else
                byName[tid == ::getpid() ? std::string("main") : counterName(t.name)] += n;
            std::fprintf(stderr, "thread %d %-20s %lld wake-ups in %.0f s%s\n", tid, t.name.c_str(),
                         n, seconds, tickThreads.count(tid) ? " (tick)" : "");
        }
        state.counters["tick_wakeups"] = double(tick);
        state.counters["process_per_s"] = double(total) / seconds;
        for (const auto& [name, n] : byName) state.counters[name + "_per_s"] = double(n) / seconds;
    }
}
BENCHMARK(BM_DesignerAtRest)->Iterations(1)->Unit(benchmark::kSecond);
