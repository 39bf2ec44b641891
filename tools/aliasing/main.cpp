// zerub-aliasing: the aliasing table of Zerub (Standard and HQ) and of any installed LV2 plug-ins,
// and the spectrum picture of Standard against HQ.
//
// usage: zerub-aliasing [--png FILE] [--no-zerub] [--plugin URI [--label TEXT]
//                       [--drive SYMBOL[=AT_HALF,AT_FULL]] [SYMBOL=VALUE]...]...
// Each row is a rate (48 and 44.1 kHz), a tone (1 and 5 kHz) and Gain (0.5 and 1); a plug-in's
// --drive port plays Gain: the middle and the top of its range, or the two values given. Each
// cell is the strongest alias / the sum of all aliases, in dBc.
#include "tools/aliasing/AliasMeasure.h"
#include "tools/aliasing/LV2Processor.h"
#include "tools/aliasing/SpectrumPicture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace aliasing;

struct Column {
    std::string label;
    bool zerub = false;
    bool hq = false;
    LV2Setting lv2;
    std::string drive; // the port that plays Gain; empty: none
    float driveAt[2] = {0.0f, 0.0f};
};

struct Row {
    double rate, tone, gain;
};

const Row kRows[] = {{48000.0, 1000.0, 1.0}, {48000.0, 5000.0, 1.0}, {48000.0, 1000.0, 0.5},
                     {48000.0, 5000.0, 0.5}, {44100.0, 1000.0, 1.0}, {44100.0, 5000.0, 1.0},
                     {44100.0, 1000.0, 0.5}, {44100.0, 5000.0, 0.5}};
constexpr double kLevel = 0.5;

bool ParseFloat(const std::string& s, float* out) {
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (s.empty() || *end != '\0' || !std::isfinite(v)) return false;
    *out = static_cast<float>(v);
    return true;
}

int Usage(const char* why) {
    std::fprintf(stderr,
                 "zerub-aliasing: %s\nusage: zerub-aliasing [--png FILE] [--no-zerub] "
                 "[--plugin URI [--label TEXT] [--drive SYMBOL[=HALF,FULL]] "
                 "[SYMBOL=VALUE]...]...\n",
                 why);
    return 2;
}

bool Measure(const Column& c, const Row& row, Spectrum* spectrum, std::string* error) {
    Processor p;
    if (c.zerub) {
        p = ZerubProcessor(row.rate, c.hq, row.gain, kLevel);
    } else {
        LV2Setting s = c.lv2;
        if (!c.drive.empty()) s.controls.push_back({c.drive, c.driveAt[row.gain < 1.0 ? 0 : 1]});
        p = LV2Processor(s, row.rate, error);
        if (!p) return false;
    }
    if (MeasureSpectrum(row.rate, row.tone, p, spectrum)) return true;
    *error = c.label + ": no measurable output (silent, failing or not finite)";
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Column> columns;
    std::string png;
    bool zerub = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--png" && hasValue) {
            png = argv[++i];
        } else if (a == "--no-zerub") {
            zerub = false;
        } else if (a == "--plugin" && hasValue) {
            columns.emplace_back();
            columns.back().lv2.uri = argv[++i];
            columns.back().label = columns.back().lv2.uri;
        } else if (columns.empty()) { // NOLINT(bugprone-branch-clone): the rest need a column
            return Usage(("unknown argument " + a).c_str());
        } else if (a == "--label" && hasValue) {
            columns.back().label = argv[++i];
        } else if (a == "--drive" && hasValue) {
            Column& c = columns.back();
            const std::string d = argv[++i];
            const size_t eq = d.find('='), comma = d.find(',', eq);
            c.drive = d.substr(0, eq);
            if (eq != std::string::npos) {
                if (comma == std::string::npos ||
                    !ParseFloat(d.substr(eq + 1, comma - eq - 1), &c.driveAt[0]) ||
                    !ParseFloat(d.substr(comma + 1), &c.driveAt[1]))
                    return Usage(("--drive takes SYMBOL or SYMBOL=HALF,FULL: " + d).c_str());
            } else {
                float lo = 0.0f, hi = 0.0f;
                std::string error;
                if (!LV2ControlRange(c.lv2.uri, c.drive, &lo, &hi, &error))
                    return Usage(error.c_str());
                c.driveAt[0] = lo + 0.5f * (hi - lo);
                c.driveAt[1] = hi;
            }
        } else if (a.find('=') != std::string::npos && a[0] != '-') {
            float v = 0.0f;
            const size_t eq = a.find('=');
            if (!ParseFloat(a.substr(eq + 1), &v)) return Usage(("not a number: " + a).c_str());
            columns.back().lv2.controls.push_back({a.substr(0, eq), v});
        } else {
            return Usage(("unknown argument " + a).c_str());
        }
    }
    if (zerub) {
        Column standard, hq;
        standard.label = "Zerub Standard";
        hq.label = "Zerub HQ";
        standard.zerub = hq.zerub = hq.hq = true;
        columns.insert(columns.begin(), {standard, hq});
    }
    if (!png.empty()) {
        // Standard against HQ at 48 kHz, 5 kHz, Gain 1.
        Spectrum s, h;
        const double rate = 48000.0, tone = 5000.0;
        if (!MeasureSpectrum(rate, tone, ZerubProcessor(rate, false, 1.0, kLevel), &s) ||
            !MeasureSpectrum(rate, tone, ZerubProcessor(rate, true, 1.0, kLevel), &h)) {
            std::fprintf(stderr, "zerub-aliasing: Zerub gave no measurable output\n");
            return 1;
        }
        char title[160], ls[96], lh[96];
        const Figures fs = Analyse(s), fh = Analyse(h);
        std::snprintf(
            title, sizeof title,
            "Zerub, a %.0f Hz sine at -6 dBFS, Gain 1, Level 0.5, 48 kHz: output spectrum",
            BinFrequency(rate, s.bin));
        std::snprintf(ls, sizeof ls, "Standard: aliases %.1f dBc strongest, %.1f dBc sum",
                      fs.strongestDbc, fs.sumDbc);
        std::snprintf(lh, sizeof lh, "HQ: aliases %.1f dBc strongest, %.1f dBc sum",
                      fh.strongestDbc, fh.sumDbc);
        if (!WriteSpectrumPicture(png, title, {&s, ls, 0xFFE0602Cu}, {&h, lh, 0xFF2C64C8u})) {
            std::fprintf(stderr, "zerub-aliasing: cannot write %s\n", png.c_str());
            return 1;
        }
        std::printf("%s  the spectrum of Standard against HQ\n", png.c_str());
    }

    std::printf("| rate, input, Gain |");
    for (const Column& c : columns)
        std::printf(" %s |", c.label.c_str());
    std::printf("\n|---|");
    for (size_t i = 0; i < columns.size(); ++i)
        std::printf("---|");
    std::printf("\n");
    int failures = 0;
    for (const Row& row : kRows) {
        std::printf("| %g kHz, %g kHz, %g |", row.rate / 1000.0, row.tone / 1000.0, row.gain);
        for (const Column& c : columns) {
            Spectrum s;
            std::string error;
            if (!Measure(c, row, &s, &error)) {
                std::fprintf(stderr, "zerub-aliasing: %s\n", error.c_str());
                std::printf(" - |");
                ++failures;
                continue;
            }
            const Figures f = Analyse(s);
            std::printf(" %.1f / %.1f |", f.strongestDbc, f.sumDbc);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return failures ? 1 : 0;
}
