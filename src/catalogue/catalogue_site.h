// Writes the catalogue of an open material database into a folder:
// index.html and one page per grade under grades/SUPPLIER/. Every file is
// written whole or not at all (the file services' safe write); the index
// goes last, so a run that fails midway leaves the index of the run before
// (if any) and no half-written file. The work grows linearly with the
// number of grades.
#pragma once

#include <string>

#include "catalogue/catalogue_page.h"

namespace tarnvel::catalogue {

struct SiteOptions {
    // The open slot to read.
    int slot = MD_NO_SLOT;
    // The folder to write into (made, with its parents, when absent).
    std::string folder;
    // The database as the user named it, for the index heading.
    std::string database;
    // Draws the plots; a null function draws none.
    GradePlots plots;
};

struct SiteReport {
    // True when every file was written.
    bool written = false;
    // Why the run stopped, one line naming the file or folder.
    std::string error;
    // Grade pages written.
    int grades = 0;
    // Grades (and suppliers) that could not be read: not in the site.
    int unreadable_grades = 0;
    int unreadable_suppliers = 0;
    // Plots drawn (SVG embedded), and warnings the drawing gave.
    int plots = 0;
    int plot_warnings = 0;
};

SiteReport WriteSite(const SiteOptions& options);

// The plots of a catalogue without a drawing library: none, every page
// says "no curves".
GradePlots NoPlots();

}  // namespace tarnvel::catalogue
