// A picture of a catalog with its sizes as the pages show them, for the page tests.
#pragma once

#include <string>

#include "catalog/catalog_rules.h"
#include "catalog/page_writer.h"

namespace folivant::test {

inline CatalogItem Item(const std::string& name, const std::string& w, const std::string& h,
                        const std::string& tw, const std::string& th) {
  CatalogItem item;
  item.PictureName = name;
  item.PageFileName = PageFileName(name);
  item.TnFileName = TnFileName(name);
  item.OrigWidth = w;
  item.OrigHeight = h;
  item.TnWidth = tw;
  item.TnHeight = th;
  return item;
}

}  // namespace folivant::test
