// Graphs and numeric displays fed by each measurement frame.
#pragma once

#include <array>
#include <cstdint>


// GRAPHRaw, GRAPHVideo and GRAPHData share one place on the main panel: shows `graph` there
// and hides the other two.
void ShowInSharedPlace(int graph);

// roll chart
extern std::array<double, 600> arrayNORM;
void PlotRAWGraph();
void PlotRAWGraphV303();
void PlotRAWGraphCL();
void PlotDATACurve(const uint16_t* samples, const double* x);
int Shift(const double* input, int count, int shifts, double* output);
int Copy1D(const double* input, int count, double* output);

// edge graph and video curve
void PlotVIDEOBarGraph();
void PlotVIDEOBarGraphV303();
void PlotVIDEOBarGraphCL();
void PlotVIDEOCurve(const uint16_t* video, const uint16_t* threshold, const double* x);
// The last video signal, drawn again with the current threshold line in the shared place; the
// last trigger buffer the same with its lines.
void RedrawVIDEOCurve();
void RedrawDATACurve();
