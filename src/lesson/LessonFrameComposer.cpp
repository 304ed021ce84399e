#include "lesson/LessonFrameComposer.h"

#include "core/Numeric.h"
#include "core/TvnError.h"
#include "media/VideoEngine.h"
#include "media/VideoMixer.h"
#include "platform/Surface.h"
#include "platform/SurfaceView.h"

namespace tvn {

void LessonFrameComposer::compose(int w, int h) {
    // First matching case only.
    Surface& frame = drives_.lessonFrame;
    auto visible = [](auto&& query) {
        bool shown = false;
        ignoringErrors([&] { shown = query(); });
        return shown;
    };
    if (!drives_.filmStripPanel.isHidden()) {
        ignoringErrors([&] { frame.paintPicture(drives_.filmStripPicture.image(), 0, 0, w, h); });
    } else if (visible([&] { return drives_.display.Visible(); }) && !drives_.secondPicture.picture().isNothing()) {
        // Side by side: two panes of 2/3 size, cropped by 1/15 at the top-left,
        // the second from the middle on; it covers the first where they overlap.
        const double top = roundHalfEven(0.15 * h);
        const double paneW = w / 1.5, paneH = h / 1.5, srcX = w / 15.0, srcY = h / 15.0;
        ignoringErrors([&] {
            frame.paintPicture(drives_.display.CurrentFramePicture().image(), 0, top, paneW, paneH, srcX, srcY);
        });
        ignoringErrors([&] {
            frame.paintPicture(drives_.secondPicture.picture().image(), w / 2.0, top, paneW, paneH, srcX, srcY);
        });
    } else if (visible([&] { return drives_.display.Visible(); })) {
        ignoringErrors([&] { frame.paintPicture(drives_.display.CurrentFramePicture().image(), 0, 0, w, h); });
    } else if (visible([&] { return drives_.mixer.Visible(); })) {
        ignoringErrors([&] { frame.paintPicture(drives_.mixer.MixedFramePicture(-1).image(), 0, 0, w, h); });
    }
    // Otherwise nothing is shown and the frame stays black.
}

}  // namespace tvn
