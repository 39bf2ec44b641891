// A plug-in base that records what the editor tells it and the host would hear, and a headless
// editor that records its prompts and link openings.
#pragma once

#include "editor/IGraphicsHeadless.h"
#include "plugin/IPlugHostless.h"
#include "raster/lice.h"

#include <string>
#include <utility>
#include <vector>

class EditorTestPlug : public IPlugHostless {
public:
    explicit EditorTestPlug(int nParams)
        : IPlugHostless(nParams, "1-1 2-2", 1, "Test", "", "Maker", 0x10000, FourCC("Tst1"),
                        FourCC("Mkr1"), 0, false, false, false, kAPIAU) {}

    void BeginInformHostOfParamChange(int idx) override {
        gestures.push_back({'B', idx});
        heard.push_back({'B', idx});
    }
    void InformHostOfParamChange(int idx, double normalized) override {
        informed.emplace_back(idx, normalized);
        heard.push_back({'S', idx});
    }
    void EndInformHostOfParamChange(int idx) override {
        gestures.push_back({'E', idx});
        heard.push_back({'E', idx});
    }
    void ResizeGraphics(int w, int h) override { resized.emplace_back(w, h); }

    struct Gesture {
        char kind; // 'B'egin or 'E'nd
        int idx;
        bool operator==(const Gesture& o) const { return kind == o.kind && idx == o.idx; }
    };
    std::vector<Gesture> gestures;
    std::vector<Gesture> heard; // begins, sets ('S') and ends in the order the host hears them
    std::vector<std::pair<int, double>> informed;
    std::vector<std::pair<int, int>> resized;
};

// What a host would object to in a stream of gesture begins, value sets and ends: an end with no
// begin, a begin inside an open gesture of the same parameter, a set outside any gesture of its
// parameter, a gesture left open. Empty when the stream is sound.
inline std::string GestureFaults(const std::vector<EditorTestPlug::Gesture>& heard) {
    std::vector<int> open;
    std::string faults;
    auto isOpen = [&](int idx) {
        for (int o : open)
            if (o == idx) return true;
        return false;
    };
    for (size_t i = 0; i < heard.size(); ++i) {
        const auto& g = heard[i];
        const std::string at =
            " at " + std::to_string(i) + " (param " + std::to_string(g.idx) + ")";
        if (g.kind == 'B') {
            if (isOpen(g.idx)) faults += "begin inside a gesture" + at + "; ";
            open.push_back(g.idx);
        } else if (g.kind == 'E') {
            if (!isOpen(g.idx)) faults += "end without a begin" + at + "; ";
            for (size_t k = 0; k < open.size(); ++k)
                if (open[k] == g.idx) {
                    open.erase(open.begin() + long(k));
                    break;
                }
        } else if (!isOpen(g.idx)) {
            faults += "set outside a gesture" + at + "; ";
        }
    }
    for (int o : open)
        faults += "gesture left open (param " + std::to_string(o) + "); ";
    return faults;
}

class RecordingGraphics : public IGraphicsHeadless {
public:
    using IGraphicsHeadless::IGraphicsHeadless;

    IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* area) override {
        menuTexts.clear();
        menuChecked.clear();
        for (int i = 0; i < menu->GetNItems(); ++i) {
            menuTexts.push_back(menu->GetItemText(i));
            menuChecked.push_back(menu->IsItemChecked(i));
        }
        menuArea = *area;
        if (menuChoice < 0) return nullptr;
        menu->SetChosenItemIdx(menuChoice);
        return menu;
    }
    void CreateTextEntry(IControl* control, IText*, IRECT* area, const char* text,
                         IParam* param) override {
        entryText = text;
        entryArea = *area;
        entryControl = control;
        entryParam = param;
    }
    bool OpenURL(const char* url, const char*, const char*, const char*) override {
        urls.push_back(url);
        return urlOpens;
    }
    void PromptForFile(WDL_String* file, EFileAction, WDL_String*, const char*) override {
        ++filePrompts;
        file->Set(fileToChoose.c_str());
    }
    bool DrawScreen(IRECT*) override {
        ++screens;
        return true;
    }

    int menuChoice = -1; // item the user picks; -1 dismisses the menu
    std::vector<std::string> menuTexts;
    std::vector<bool> menuChecked;
    IRECT menuArea, entryArea;
    std::string entryText = "<none>";
    IControl* entryControl = nullptr;
    IParam* entryParam = nullptr;
    std::vector<std::string> urls;
    bool urlOpens = true;
    int filePrompts = 0;
    std::string fileToChoose;
    int screens = 0;
};

// A vertical strip of frames whose pixel (x, y) is 0xFF000000 | y << 8 | x, so a drawn pixel
// tells which source row and column it came from. Owned by the caller.
inline LICE_MemBitmap* MakeCodedStrip(int w, int h) {
    auto* bm = new LICE_MemBitmap(w, h, 4);
    LICE_pixel* bits = bm->getBits();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bits[y * bm->getRowSpan() + x] = 0xFF000000u | (unsigned(y) << 8) | unsigned(x);
    return bm;
}
