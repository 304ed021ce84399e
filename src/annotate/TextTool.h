#pragma once

#include "annotate/ToolBehaviour.h"

namespace tvn {

// "text": the press starts a new text (in the next of the text slots, with the
// caret, 100 twips above the pointer) and leaves it in typing mode; drags are
// ignored; the release finishes nothing (the keys end the text).
class TextTool final : public ToolBehaviour {
public:
    void press(ToolContext& ctx, float x, float y) const override;
    bool drag(ToolContext& ctx, float x, float y) const override;
};

}  // namespace tvn
