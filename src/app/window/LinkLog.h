#pragma once

#include <QLoggingCategory>

#include "app/report/KeptTraces.h"
#include "link/RadioLink.h"

// The window's frame trace for a bug report: every frame in both directions, as the command
// line's --trace writes it, through the logging category "quenta.link". It is off by default;
// QT_LOGGING_RULES="quenta.link.debug=true" turns it on.
Q_DECLARE_LOGGING_CATEGORY(lcLink)

// A trace sink that logs each frame under lcLink: milliseconds since the first frame, W (wire
// bytes sent) or R (payload received), the bytes in hexadecimal.
RadioLink::TraceSink LinkLogSink();
// Every frame into kept (the run's trace kept for a support report, which must outlive the
// link's use of it), and under lcLink as well when the category is enabled.
void KeepLinkFrames(RadioLink& link, report::KeptTrace& kept);
