// The interfaces of the result list, favourites and item screens and of the result cell, each
// built at 320x480 under the name the screens load: "ItemListViewController",
// "FavoriteViewController", "ItemViewController", "ItemTableViewCell".
#pragma once

// Enters the four builders; safe to call more than once.
void registerResultScreenInterfaces();
