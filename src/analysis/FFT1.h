#pragma once
// "FFT1": the amplitude spectrum of object A's plotted value over the first
// FftSize data rows, listed as "frequency,amplitude" lines and saved as CSV.
// Handlers are thin over fft. Stay-on-top; frees itself when closed.
#include <QWidget>

#include "ui_FFT1.h"

class TFFT1 : public QWidget, public Ui::TFFT1 {
    Q_OBJECT
public:
    explicit TFFT1(QWidget* owner = nullptr);
    ~TFFT1() override;

    void FormCreate();
    void Button1Click();          // Analyze
    void SavetoCSVfile1Click();   // File / Save to .CSV file
};

// The last FFT window opened, or null.
extern TFFT1* FFT1;
