#pragma once

enum class FrameKind
{
    Placeholder,
    Repeated,
    New
};
