// The change of the user's Preload and Substitutes values towards the planned lists, and its journal.
#pragma once

#include <windows.h>

#include "layout_registry/layout_inventory.h"
#include "product_constants.h"

// Values one list key may hold while it is changed: the user's, the planned ones and the
// stand-ins that keep every layout reachable meanwhile.
#define LIST_VALUE_CAPACITY (3 * LAYOUT_LIST_CAPACITY)
// Longest value name the registry allows, with its terminating zero.
#define LONGEST_VALUE_NAME 16384
// The journal at its longest: both planned lists with every byte written as %XX, and the
// removed layout.
#define LIST_JOURNAL_SIZE (2 * LAYOUT_LIST_CAPACITY * (6 * (MAX_PATH - 1) + 2) + 4 * MAX_PATH)

// The journal: the planned lists, written in one value before the change starts and removed
// when it is complete, below the user's own Software key.
#define LIST_JOURNAL_KEY_PATH "Software\\" PROGRAM_FOLDER_NAME
#define LIST_JOURNAL_VALUE "Listenumbau"

struct list_value {
    char name[MAX_PATH];
    char data[MAX_PATH];
};

struct list_values {
    list_value values[LIST_VALUE_CAPACITY];
    int count;
};

struct list_rewrite_state {
    // What the two keys held when the change began (values that are no text left out).
    list_values preload;
    list_values substitutes;
    // Whether Preload held values besides those read (no text, or names too long to read).
    bool preload_unread;
    // The layout each of those Preload values reaches now (through Substitutes or directly).
    const char* reached[LIST_VALUE_CAPACITY];
    // Stand-ins in Substitutes: each layout that a Preload value reaches through a name that
    // the change rewrites, once per language, under a name that no list uses.
    list_values substitute_stand_ins;
    // The data each Preload value holds while Substitutes are rewritten: its stand-in's name,
    // or its own data when the change leaves what that data names alone.
    const char* held_data[LIST_VALUE_CAPACITY];
    // Values appended after the last place: a copy of each distinct held data, and before them
    // fillers for planned places that do not exist yet; in the order of their places.
    list_values appended_places;
    // The layout the change takes out of the lists (the uninstaller's), or empty.
    char removed_layout[MAX_PATH];
    char value_name[LONGEST_VALUE_NAME];
    char journal[LIST_JOURNAL_SIZE];
};
extern list_rewrite_state list_rewrite;

void reset_list_rewrite();

// Before anything else a program does with the lists: a change that an earlier run began and
// did not complete is carried to its end (its journal names the planned lists; layouts the user
// has added since are kept at the end). True when there was none or it is complete now; false
// with error_text when it could not be completed, and its journal stays for the next run.
bool finish_interrupted_list_rewrite();
// The start of the programs' warning when it returns false; error_text goes into %s.
#define LIST_REWRITE_UNFINISHED_TEXT                                                            \
    "Die Änderung der Tastaturbelegungs-Listen, die ein früherer Lauf begonnen hat, kann nicht " \
    "abgeschlossen werden:\n%s\n\n"

// The journal's text of the planned lists in layout_inventory, and back (false for a text that
// is no journal).
bool encode_list_journal(char* text, size_t size);
bool decode_list_journal(const char* text);

// Appends one value to the planned Preload or Substitutes list, its texts copied into the
// inventory's store (a Preload value's number from its name); false when the list or the store
// is full.
bool add_planned_preload_value(const char* name, const char* data);
bool add_planned_substitute_value(const char* name, const char* data);
