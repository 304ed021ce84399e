#pragma once

#include "fakes/ControlHarness.h"

#include <QColor>

namespace tvn::testing {

// A control on fakes with a clip "open" as opening one leaves it: the engine's
// Option43 at 1, the clip size in pixels and twips, Picture1/Picture2 sized to
// the clip, pointer scale 1 (control twips = surface twips).
struct AnnotateHarness : ControlHarness {
    explicit AnnotateHarness(int width = 320, int height = 240) { openClip(width, height); }

    void openClip(int width, int height) {
        Trelvan& ctl = c();
        ctl.TVN_videoFileName = QStringLiteral("x.mp4");
        engine1->option43 = 1;
        ctl.TVN_VideoWidth = static_cast<int16_t>(width);
        ctl.TVN_VideoHeight = static_cast<int16_t>(height);
        ControlState& st = probe().state();
        st.videoWidthTwips = static_cast<int16_t>(width * 15);
        st.videoHeightTwips = static_cast<int16_t>(height * 15);
        st.pointerScaleX = 1;
        st.pointerScaleY = 1;
        probe().picture(1).setSize(width * 15.0, height * 15.0);
        probe().picture(2).setSize(width * 15.0, height * 15.0);
    }

    // One whole gesture through the host's forwarders, in control twips.
    void down(float x, float y, int16_t button = 1) {
        int16_t shift = 0;
        c().TVN_MouseDown(button, shift, x, y);
    }
    void move(float x, float y, int16_t button = 1) {
        int16_t shift = 0;
        c().TVN_MouseMove(button, shift, x, y);
    }
    void up(float x, float y, int16_t button = 1) {
        int16_t shift = 0;
        c().TVN_MouseUp(button, shift, x, y);
    }
    void drag(const QString& tool, float x1, float y1, float x2, float y2) {
        c().TVN_drawingTool = tool;
        down(x1, y1);
        move(x2, y2);
        up(x2, y2);
    }

    AnnotationStore& store() { return probe().store(); }
    // Colour of a pixel of Picture1 as 0x00BBGGRR.
    int32_t pixel(int x, int y) { return Surface::fromQColor(probe().picture(1).image().pixelColor(x, y)); }
};

}  // namespace tvn::testing
