// How the upload and the extractions show their progress and learn of a cancel: the program's
// progress window, a bar on the command line's stderr, or a recorder in tests.
#pragma once

#include <QString>
#include <cstdint>

class TProgress
{
public:
    virtual ~TProgress() = default;
    virtual void SetProgressRange(uint32_t min, uint32_t max, uint32_t step) = 0;
    // Shows the window with its three lines and clears a previous cancel.
    virtual void ShowProgress(const QString &line1, const QString &line2, const QString &line3) = 0;
    virtual void StepProgress(const QString &line3, uint32_t position) = 0;
    virtual void HideProgress() = 0;
    virtual bool CancelRequested() const = 0;
    // Lets pending events run, so that the Cancel button can be seen.
    virtual void ProcessEvents() {}
};
