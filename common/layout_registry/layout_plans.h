// Plans of the user's Preload and Substitutes lists for install, update and removal; their write.
#pragma once

#include "layout_registry/layout_inventory.h"

// Chooses the layout key name and Layout Id of a new key (existing = -1), or takes over the
// key at position `existing` of layout_key_list, and plans the lists with the layout at place 1.
// False (with error_text, nothing planned) when the target key exists already or when no
// valid key name, Layout Id or list record is left.
bool plan_layout_install(int existing);

// The Layout Id a new key gets (LAYOUT_NAME_SIZE characters); false with error_text when none
// is free.
bool choose_new_layout_id(char* id_text);

// Plans the lists with the product's registered and listed layout moved to place 1; the
// Substitutes key stays as it is. False (with error_text) when the product's key is not
// registered.
bool plan_layout_update();

// Plans the lists without the layout of target_key_name. False (with error_text) when the key
// is not in the inventory or is a standard layout.
bool plan_layout_removal();
// The same for a layout whose key is gone already: the user's entries that still name it go.
bool plan_removal_of_missing_layout();

// Replaces the user's Preload and Substitutes keys by the planned lists. False with the last
// failure in error_text.
bool write_preload_substitutes();
