#pragma once

// ~/.config/Orvane/orvane.conf ($ORVANE_CONF names another file): the settings a program
// shares with the other line servers and desktops of one installation. Keys, all optional:
//
//   database = postgresql://...   where the call and fax log lives (see DatabaseLocation.h)
//   server_name = NAME            how this line server is named in the rows it writes
//   storage = /srv/orvane         the folder recordings and answered faxes are kept under
//
// Thread: any.

#include "platform/Status.h"

#include <QString>

namespace orvane {

struct OrvaneConf {
    QString database;   // empty: none
    QString serverName; // empty: none
    QString storage;    // empty: none
};

// The file's settings, read once per $ORVANE_CONF (every action of a program opens the log
// and finds its files anew); none when there is no file; a mistake when it cannot be read
// or names an unknown key.
Result<OrvaneConf> orvaneConf();

} // namespace orvane
