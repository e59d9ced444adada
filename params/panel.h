// Transfer of the parameter words to and from the controls of the panels, per firmware variant.
#pragma once

void GetPanelValues();
void GetPanelValuesV303();
void GetPanelValuesCL();
void SetPanelValues();
void SetPanelValuesV303();
void SetPanelValuesCL();
// The pair of the variant in force (test 1 of the variant rule).
void GetPanelValuesOfVariant();
void SetPanelValuesOfVariant();
