#pragma once

// The main window's progress bar as the downloads drive it: they set its range and position
// directly. The window implements it over its widget; tests record the calls.
class ProgressBar {
  public:
    virtual ~ProgressBar() = default;
    virtual void SetMinimum(int value) = 0;
    virtual void SetMaximum(int value) = 0;
    virtual void SetPosition(int value) = 0;
};
