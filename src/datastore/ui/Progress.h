// TFrmProgress: the progress window of the upload and the extractions: three text lines, a bar
// and Cancel, shown without blocking while the work runs on the user-interface thread.
#pragma once

#include "datastore/progress.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;
class TLumsLanguageComp;

class TFrmProgress : public QDialog, public TProgress
{
    Q_OBJECT
public:
    explicit TFrmProgress(QWidget *parent = nullptr);

    void SetProgressRange(uint32_t min, uint32_t max, uint32_t step) override;
    void ShowProgress(const QString &line1, const QString &line2, const QString &line3) override;
    void StepProgress(const QString &line3, uint32_t position) override;
    void HideProgress() override;
    bool CancelRequested() const override { return Cancelled; }
    void ProcessEvents() override;

    // The bar counts in int; record numbers above that are scaled down to fit.
    int Scaled(uint32_t value) const;

    QLabel *ProgressLine1, *ProgressLine2, *ProgressLine3;
    QProgressBar *ProgressBar;
    QPushButton *ProgressCancelButton;

    // Closing the window (Escape, the window manager) asks for a cancel as the button does.
    void reject() override;

    // The language file's texts are applied each time the window is shown (not owned; may be null).
    TLumsLanguageComp *Language = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool Cancelled = false;
    int Shift = 0;
};
