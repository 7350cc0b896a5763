#pragma once
// The page document for vorn_ui's own tests. The Widget interface only passes documents through by reference, so
// most tests need an object to refer to, never its contents; vorn_ui links page_doc, so this is the real one.

#include "page_doc/page_doc.hpp"
