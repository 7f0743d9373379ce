// Pieces the service sheet's pages share: stored values read and written as
// the pages hold them, fixed-size texts filled from the pages' strings, and
// report-view lists whose rows the pages build from their members.
#pragma once

#include "manager/framework/framework.h"

#include <cstddef>
#include <string>
#include <vector>

// A stored text of up to `limit` characters: in code page 932 each may take two bytes.
std::string read_text(const char* name, int limit, const char* fallback = "");
unsigned read_number(const char* name, unsigned fallback);
void write_number(const char* name, unsigned value);

// `text` into out[size], cut to fit and always terminated.
void copy_text(char* out, std::size_t size, const std::string& text);

struct ListColumn {
    const char* heading;
    int width;  // dialog units
};
// Gives the report-view `list` of `dialog` its columns and full-row selection.
void add_list_columns(HWND dialog, HWND list, const ListColumn* columns, int count);
// Replaces the list's rows (one text per column) and selects row `selected` (-1: none).
void fill_list(HWND list, const std::vector<std::vector<std::string>>& rows, int selected);
// Sizes `column` to its widest text and its heading; the last column also fills the rest of the row.
void fit_list_column(HWND list, int column);
// The selected row, or -1.
int selected_list_row(HWND list);
