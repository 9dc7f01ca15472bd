// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

// The compact and full views, switched by clicks in the top strip. No flag records the view:
// each click looks at the window's height.
#include "app/korvanefrm.h"

namespace korvane {

void KorvaneFRM::onToggleView()
{
    TXT_OutPut->clearText();
    LBL_titre->show();
    if (isCompact()) {
        setClientHeightTwips(kFullHeightTwips);
        return;
    }
    LBL_ProgName->show();
    setClientHeightTwips(kCompactHeightTwips);
    LBL_titre->hide();
}

void KorvaneFRM::onCollapseView()
{
    setClientHeightTwips(kCompactHeightTwips);
    LBL_titre->hide();
    LBL_ProgName->show();
}

} // namespace korvane
