#pragma once

#include <QFrame>

#include <chrono>
#include <cstdint>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;

namespace console {

// "1,234,567 bytes in 2.5 s, 493.8 kB/s": how far a transfer got.
std::u16string progressText(std::uint64_t bytes, std::chrono::milliseconds elapsed);

// A strip laid over the foot of the incoming view while a transfer takes
// long: the bytes so far, the time and the rate, a busy bar and a Stop
// button (Esc does the same). It tells how a stopped transfer ended until the
// next one begins.
class TransferProgress : public QFrame {
    Q_OBJECT
public:
    // Covers the lower edge of `over`, a sibling in the same parent.
    explicit TransferProgress(QWidget& over);

    void showRunning(std::uint64_t bytes, std::chrono::milliseconds elapsed);
    void showStopped(std::uint64_t bytes, std::chrono::milliseconds elapsed);

    QPushButton& stopButton() { return *stop_; }
    QString text() const;

private:
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* stop_;
};

} // namespace console
