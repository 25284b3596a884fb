#pragma once
// TMap: the station map. Shows the page built from the GPS record (centred on the
// observer's position when one was read) in its browser, the page's lines in Memo1
// and the GPS values in Memo2. Each opening makes a new window, freed when closed.
#include <QWidget>
#include <cstdint>
#include <string>

#include "overlay/overlay_locate.h"
#include "ui_StationMap.h"

namespace web {
class PageLoads;
}

class TMap : public QWidget, public Ui::TMap {
    Q_OBJECT
public:
    TMap(const overlay::GpsRecord& gps, uint8_t timeInserterType, QWidget* parent = nullptr);

    void FormCreate();
    // The page handed to the browser (its lines joined with CR LF).
    const std::string& PageText() const { return pageText_; }

private:
    overlay::GpsRecord gps_;
    uint8_t timeInserterType_;
    std::string pageText_;
    web::PageLoads* loads_ = nullptr;
};
