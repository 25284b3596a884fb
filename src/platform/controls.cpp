#include "platform/controls.h"

#include <QAbstractSpinBox>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TImage::SetPictureSize(int width, int height) {
    if (picture_.width() == width && picture_.height() == height) return;
    picture_ = QImage(width, height, QImage::Format_RGB32);
    picture_.fill(Qt::black);
    if (followPicture_) resize(picture_.size());
    update();
}

void TImage::SetSizeFollowsPicture(bool on) {
    followPicture_ = on;
    if (on && !picture_.isNull()) resize(picture_.size());
}

void TImage::Draw(int x, int y, const QImage& image) {
    if (picture_.isNull()) SetPictureSize(width(), height());
    if (image.format() == QImage::Format_BGR888 && picture_.format() == QImage::Format_RGB32 && x >= 0 && y >= 0) {
        // The frame shown every tick: a plain byte shuffle is faster than a painter.
        const int w = std::min(image.width(), picture_.width() - x);
        const int h = std::min(image.height(), picture_.height() - y);
        for (int row = 0; row < h; ++row) {
            const uchar* s = image.constScanLine(row);
            QRgb* d = reinterpret_cast<QRgb*>(picture_.scanLine(y + row)) + x;
            for (int col = 0; col < w; ++col, s += 3) d[col] = 0xFF000000u | (uint(s[2]) << 16) | (uint(s[1]) << 8) | s[0];
        }
    } else {
        QPainter p(&picture_);
        p.drawImage(x, y, image);
    }
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (!picture_.isNull()) p.drawImage(0, 0, picture_);
}

void TImage::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit MouseDown(event->button(), pos.x(), pos.y());
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit MouseUp(event->button(), pos.x(), pos.y());
}

void TImage::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit MouseMove(pos.x(), pos.y());
}

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, [this] { ClickArrow(true); });
    connect(down_, &QToolButton::clicked, this, [this] { ClickArrow(false); });
    for (QToolButton* b : {up_, down_}) {
        // Auto-repeat releases and presses again while the arrow stays down.
        connect(b, &QToolButton::pressed, this, [this] {
            if (pressedAt_ < 0) pressedAt_ = QDateTime::currentMSecsSinceEpoch();
        });
        connect(b, &QToolButton::released, this, [this, b] {
            if (!b->isDown()) pressedAt_ = -1;
        });
    }
}

int TUpDown::StepAfter(qint64 heldMs) const {
    int step = increment_;
    for (const auto& [seconds, s] : accel_)
        if (heldMs >= seconds * 1000LL) step = s;
    return step;
}

void TUpDown::SetPosition(int position) {
    const int old = position_;
    position_ = std::clamp(position, min_, std::max(min_, max_));
    ShowPosition();
    if (position_ != old) emit Changing(position_);
}

void TUpDown::SetRange(int min, int max) {
    min_ = min;
    max_ = max;
    SetPosition(position_);
}

void TUpDown::SetAssociate(QLineEdit* edit) {
    associate_ = edit;
    ShowPosition();
}

void TUpDown::ClickArrow(bool up) {
    if (!isEnabled()) return;
    const int step = pressedAt_ < 0 ? increment_ : StepAfter(QDateTime::currentMSecsSinceEpoch() - pressedAt_);
    const int64_t next = int64_t{position_} + (up ? step : -step);
    if (wrap_ && next > max_) {
        SetPosition(min_);
    } else if (wrap_ && next < min_) {
        SetPosition(max_);
    } else {
        SetPosition(static_cast<int>(std::clamp<int64_t>(next, INT32_MIN, INT32_MAX)));
    }
    emit Click(up);
}

void TUpDown::SetPositionByUser(int position) {
    if (!isEnabled()) return;
    const int old = position_;
    SetPosition(position);
    emit Click(position_ >= old);
}

void TUpDown::ShowPosition() {
    if (associate_) associate_->setText(QString::number(position_));
}

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) { new QGridLayout(this); }

void TRadioGroup::SetItems(const QStringList& items, int columns) {
    for (QRadioButton* b : buttons_) delete b;
    buttons_.clear();
    auto* grid = static_cast<QGridLayout*>(layout());
    grid->setContentsMargins(6, 2, 6, 2);
    const int cols = columns > 0 ? columns : static_cast<int>(items.size());
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        grid->addWidget(b, i / cols, i % cols);
        connect(b, &QRadioButton::toggled, this, [this, i](bool on) {
            if (on && !setting_) emit Click(i);
        });
        buttons_.push_back(b);
    }
}

void TRadioGroup::SelectByUser(int index) {
    if (index < 0 || index >= Count() || !isEnabled()) return;
    if (buttons_[static_cast<size_t>(index)]->isChecked()) emit Click(index);
    else buttons_[static_cast<size_t>(index)]->setChecked(true);
}

int TRadioGroup::ItemIndex() const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

void TRadioGroup::SetItemIndex(int index) {
    setting_ = true;
    if (index >= 0 && index < Count()) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
    } else {
        for (QRadioButton* b : buttons_) {
            b->setAutoExclusive(false);
            b->setChecked(false);
            b->setAutoExclusive(true);
        }
    }
    setting_ = false;
}

void WrapButtonCaption(QPushButton* button) {
    auto* label = new QLabel(button->text(), button);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignCenter);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* layout = new QVBoxLayout(button);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(label);
    // The label draws the caption; the button's own one-line text stays unseen.
    label->setForegroundRole(QPalette::WindowText);
    QPalette palette = button->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) palette.setColor(group, QPalette::ButtonText, Qt::transparent);
    button->setPalette(palette);
}

QFont FormFont() {
    QFont f("Liberation Sans");
    f.setPixelSize(11);
    return f;
}

void UseFormFont(QWidget* form) { form->setFont(FormFont()); }

TSummaryEdit::TSummaryEdit(QWidget* parent) : QLineEdit(parent) {}

void TSummaryEdit::SetTexts(const QString& text, const QString& shown) {
    shown_ = shown == text ? QString() : shown;
    setText(text);
    update();
}

void TSummaryEdit::paintEvent(QPaintEvent* event) {
    if (shown_.isEmpty() || hasSelectedText() || (hasFocus() && !isReadOnly())) {
        QLineEdit::paintEvent(event);
        return;
    }
    // The frame and the text where QLineEdit puts them (its contents rectangle
    // less 2 pixels at the sides, the text centred in height), at the start.
    QPainter p(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &p, this);
    const QRect r = style()->subElementRect(QStyle::SE_LineEditContents, &panel, this).marginsRemoved(textMargins());
    const QFontMetrics fm = fontMetrics();
    const int height = std::max(fm.boundingRect(shown_).height(), fm.height());
    const QRect line(r.x() + 2, r.y() + (r.height() - height + 1) / 2, r.width() - 4, height);
    p.setClipRect(r);
    p.setPen(palette().color(QPalette::Text));
    p.drawText(line.x(), line.y() + fm.ascent(), shown_);
}

namespace {

// Watches every line edit for the cursor moves of the program (see above).
class EditStartKeeper : public QObject {
    static constexpr const char* kWatched = "tevorinTextFromStart";
    static constexpr const char* kFocused = "tevorinFocused";

public:
    using QObject::QObject;

    // Only the program writes an edit without the focus, or a read-only one; the
    // user's selection stays. The focus is the one the edit was told of, so that a
    // focus given by events alone (as scripts give it) counts too.
    static bool Programs(const QLineEdit* e) {
        const bool focused = e->hasFocus() || e->property(kFocused).toBool();
        return (!focused || e->isReadOnly()) && !e->isModified() && !e->hasSelectedText() && e->cursorPosition() != 0;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            if (auto* e = qobject_cast<QLineEdit*>(watched)) e->setProperty(kFocused, event->type() == QEvent::FocusIn);
        if (event->type() == QEvent::Polish)
            if (auto* e = qobject_cast<QLineEdit*>(watched);
                e && !qobject_cast<QAbstractSpinBox*>(e->parentWidget()) && !e->property(kWatched).toBool()) {
                e->setProperty(kWatched, true);
                // Texts set before the edit was first shown moved its cursor unwatched.
                if (Programs(e)) e->setCursorPosition(0);
                connect(e, &QLineEdit::cursorPositionChanged, e, [e](int, int) {
                    if (Programs(e)) e->setCursorPosition(0);
                });
            }
        return false;
    }
};

}  // namespace

void ShowEditTextFromStart(QCoreApplication& app) {
    static QPointer<EditStartKeeper> keeper;
    if (keeper) return;
    keeper = new EditStartKeeper(&app);
    app.installEventFilter(keeper);
}
