(function() {
    try {
        const index = {{index}};
        const label = {{label}};
        const searchText = {{searchText}};
        console.log('🔍 Looking for navigation item: ' + label + ' (index: ' + index + ', text: "' + searchText + '")');

        const clickElement = function(element) {
            if (typeof element.click === 'function') {
                element.click();
                console.log('✅ Clicked via .click()');
                return true;
            }
            if (typeof element.dispatchEvent === 'function') {
                element.dispatchEvent(new MouseEvent('click', { bubbles: true, cancelable: true, view: window }));
                console.log('✅ Clicked via dispatchEvent');
                return true;
            }
            if (typeof element.onclick === 'function') {
                element.onclick();
                console.log('✅ Clicked via onclick');
                return true;
            }
            return false;
        };

        if (searchText) {
            const candidates = document.querySelectorAll('a, button, [role="button"], [onclick], [data-action], [data-tab], [data-section]');
            for (const element of candidates) {
                const text = (element.textContent || element.innerText || element.getAttribute('aria-label') || '').trim();
                if (text === searchText || text.includes(searchText)) {
                    console.log('✅ Found element by text:', text, element);
                    if (clickElement(element)) {
                        return true;
                    }
                }
            }
        }

        const itemSelector = 'a, button, [role="button"], [data-tab], [data-section]';
        const containerSelectors = ['[role="navigation"]', '.sidebar', 'nav', '[class*="sidebar"]', '[class*="navigation"]', '[class*="menu"]', 'aside'];
        for (const selector of containerSelectors) {
            const container = document.querySelector(selector);
            if (!container) {
                continue;
            }
            const items = container.querySelectorAll(itemSelector);
            if (items.length > index) {
                console.log('✅ Found element by index in container:', selector, items[index]);
                if (clickElement(items[index])) {
                    return true;
                }
            }
        }

        const allItems = document.querySelectorAll(itemSelector);
        if (allItems.length > index) {
            console.log('✅ Found element by global index:', allItems[index]);
            if (clickElement(allItems[index])) {
                return true;
            }
        }

        console.warn('⚠️ Navigation element not found for: ' + label);
        return false;
    } catch (e) {
        console.error('❌ Navigation switch error:', e);
        return false;
    }
})();
