#pragma once
// The price list's table, PREZZI.DBF, and what the program does with it.
#include <string>

namespace price_list {

// Creates PREZZI.DBF with its bag PREZZI.NTX (tag NOME) when missing, then opens both, shared.
void open_prices();
// Appends an article under the locks a shared table asks for.
void append_article(const std::string& name, double price);
// Raises every price by a percentage, one locked record at a time.
void raise_prices(double percent);
// Prints, through a view, the articles that cost more than a price; returns how many there are.
int count_dearer_than(double price);
// Prints the list, in name order, through the printer; shows it in the preview first.
// Unattended, on A4 pages without asking for a printer, and the preview closes at once.
void print_prices(bool unattended);

}  // namespace price_list
