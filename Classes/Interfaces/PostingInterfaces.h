// The interfaces of the captcha, reply, login and posting screens, registered under the names
// the screens load: "ValidationViewController", "ReplyViewController", "LoginViewController",
// "PostSectionController", "PostCatagoryController", "PostLocationController",
// "PostController".
#pragma once

// Registers the builders; safe to call more than once.
void registerPostingInterfaces();
