#pragma once
// What the library's key searches ask of a table browse: the highlighted row moves, the record
// shown on the first row, and a redraw after the table's position changed.
namespace kv::gui {

// A table browse as the key searches move it.
class Browse {
  public:
    virtual ~Browse() = default;
    // Moves the highlight one row down, the table having moved to the next record.
    virtual void down() = 0;
    // Shows the table's current record on the first row, highlighted.
    virtual void to_first_row() = 0;
    // Draws every row again from the table's current position.
    virtual void redraw() = 0;
};

}  // namespace kv::gui
