(function() {
    try {
        const profileId = {{profileId}};
        const profilePrefix = '_orvi_' + profileId.substring(0, 8) + '_';

        if (typeof Storage !== 'undefined') {
            try {
                const originalSetItem = Storage.prototype.setItem;
                const originalGetItem = Storage.prototype.getItem;
                const originalRemoveItem = Storage.prototype.removeItem;
                const isolatedKey = function(key) {
                    const text = String(key);
                    if (text.startsWith('_orviWrapper') || text.startsWith('_orvi_')) {
                        return text;
                    }
                    return profilePrefix + text;
                };
                Storage.prototype.setItem = function(key, value) {
                    return originalSetItem.call(this, isolatedKey(key), value);
                };
                Storage.prototype.getItem = function(key) {
                    return originalGetItem.call(this, isolatedKey(key));
                };
                Storage.prototype.removeItem = function(key) {
                    return originalRemoveItem.call(this, isolatedKey(key));
                };
                Storage.prototype.clear = function() {
                    const keys = [];
                    for (let i = 0; i < this.length; i++) {
                        const key = this.key(i);
                        if (key !== null && key.startsWith(profilePrefix)) {
                            keys.push(key);
                        }
                    }
                    for (const key of keys) {
                        originalRemoveItem.call(this, key);
                    }
                };
                window.localStorage.setItem('_orviWrapperProfileId', profileId);
                window.sessionStorage.setItem('_orviWrapperProfileId', profileId);
            } catch (e) {
                console.error("Profile isolation error:", e);
            }
        }

        try {
            Object.defineProperty(navigator, 'webdriver', { get: () => undefined, configurable: true, enumerable: false });
        } catch (e) {}
        try {
            if (navigator.__proto__) {
                Object.defineProperty(navigator.__proto__, 'webdriver', { get: () => undefined, configurable: true, enumerable: false });
            }
        } catch (e) {}
        try {
            delete navigator.webdriver;
        } catch (e) {}

        Object.defineProperty(navigator, 'vendor', { get: () => 'Apple Computer, Inc.', configurable: true });

        // The engine defines window.webkit as a read-only, non-configurable property, so it
        // cannot be swapped for a proxy; the handlers' getter lives on the namespace's
        // prototype, which belongs to this world alone and can be removed there. The proxy
        // stays as the way out where the getter cannot be removed.
        try {
            if (window.webkit && window.webkit.messageHandlers) {
                for (let owner = window.webkit; owner; owner = Object.getPrototypeOf(owner)) {
                    const descriptor = Object.getOwnPropertyDescriptor(owner, 'messageHandlers');
                    if (descriptor && descriptor.configurable) {
                        delete owner.messageHandlers;
                    }
                }
                if ('messageHandlers' in window.webkit && typeof Proxy !== 'undefined') {
                    const webkitProxy = new Proxy(window.webkit, {
                        get: function(target, property) {
                            if (property === 'messageHandlers') {
                                return undefined;
                            }
                            return Reflect.get(target, property);
                        },
                        has: function(target, property) {
                            if (property === 'messageHandlers') {
                                return false;
                            }
                            return Reflect.has(target, property);
                        }
                    });
                    Object.defineProperty(window, 'webkit', { value: webkitProxy, writable: false, configurable: false });
                }
            }
        } catch (e) {}

        if (window.chrome) {
            delete window.chrome;
        }

        try {
            if (!navigator.mediaDevices) {
                navigator.mediaDevices = {};
            }
            if (!navigator.mediaDevices.getUserMedia) {
                navigator.mediaDevices.getUserMedia = function(constraints) {
                    const legacyGetUserMedia = navigator.getUserMedia || navigator.webkitGetUserMedia;
                    if (!legacyGetUserMedia) {
                        return Promise.reject(new Error('getUserMedia is not supported'));
                    }
                    return new Promise(function(resolve, reject) {
                        legacyGetUserMedia.call(navigator, constraints, resolve, reject);
                    });
                };
            }
            if (!window.RTCPeerConnection && window.webkitRTCPeerConnection) {
                window.RTCPeerConnection = window.webkitRTCPeerConnection;
            }
            if (navigator.permissions && navigator.permissions.query) {
                const originalQuery = navigator.permissions.query.bind(navigator.permissions);
                navigator.permissions.query = function(descriptor) {
                    const name = descriptor && descriptor.name;
                    if (name === 'camera' || name === 'microphone' || (name === 'geolocation' && {{hasCustomCoordinates}})) {
                        return Promise.resolve({ state: 'granted', onchange: null });
                    }
                    return originalQuery(descriptor);
                };
            }
        } catch (e) {
            console.warn('WebRTC masking error:', e);
        }

        for (const name of ['__nightmare', '_phantom', 'callPhantom']) {
            if (name in window) {
                delete window[name];
            }
        }

        if (!navigator.userAgentData) {
            Object.defineProperty(navigator, 'userAgentData', { get: () => undefined, configurable: true });
        }

        if ('__WEBKIT_DEVTOOLS_GLOBAL_HOOK__' in window) {
            delete window.__WEBKIT_DEVTOOLS_GLOBAL_HOOK__;
        }

        const timezone = {{timezone}};
        const locale = {{locale}};
        const cityName = {{cityName}};
        const configuredLatitude = {{latitude}};
        const configuredLongitude = {{longitude}};

        if (configuredLatitude !== null && configuredLongitude !== null && navigator.geolocation) {
            const makePosition = function() {
                return {
                    coords: {
                        latitude: configuredLatitude,
                        longitude: configuredLongitude,
                        accuracy: 25,
                        altitude: null,
                        altitudeAccuracy: null,
                        heading: null,
                        speed: null
                    },
                    timestamp: Date.now()
                };
            };
            navigator.geolocation.getCurrentPosition = function(success) {
                setTimeout(function() {
                    if (typeof success === 'function') {
                        success(makePosition());
                    }
                }, 0);
            };
            navigator.geolocation.watchPosition = function(success) {
                const watchId = Math.floor(Math.random() * 2147483647);
                setTimeout(function() {
                    if (typeof success === 'function') {
                        success(makePosition());
                    }
                }, 0);
                return watchId;
            };
            navigator.geolocation.clearWatch = function() {};
        }

        const timezoneOffsets = {
            'Asia/Yekaterinburg': -300,
            'Europe/Moscow': -180,
            'Europe/Kiev': -120,
            'Europe/Minsk': -180,
            'Asia/Almaty': -360,
            'America/New_York': 300,
            'Europe/London': 0,
            'Asia/Tokyo': -540
        };
        const timezoneOffset = Object.prototype.hasOwnProperty.call(timezoneOffsets, timezone) ? timezoneOffsets[timezone] : -300;
        Date.prototype.getTimezoneOffset = function() {
            return timezoneOffset;
        };

        const localeParts = locale.split('_');
        const language = localeParts[0] || 'ru';
        const region = localeParts[1] || 'RU';
        const browserLocale = language + '-' + region;
        if (navigator.language) {
            Object.defineProperty(navigator, 'language', { get: () => browserLocale, configurable: true });
        }
        if (navigator.languages) {
            Object.defineProperty(navigator, 'languages', { get: () => [browserLocale, language, 'en-US', 'en'], configurable: true });
        }

        window.localStorage.setItem('_orviWrapperLocation', cityName);
        window.localStorage.setItem('_orviWrapperTimezone', timezone);
        window.localStorage.setItem('_orviWrapperLocale', locale);

        const detectSidebarNavigation = function() {
            try {
                const selectors = [
                    '[role="navigation"] a',
                    '.sidebar a',
                    'nav a',
                    '[data-section]',
                    '[data-tab]',
                    'button[aria-label*="Все"]',
                    'button[aria-label*="Новые"]',
                    'button[aria-label*="Контакты"]',
                    'button[aria-label*="Звонки"]'
                ];
                let items = [];
                for (const selector of selectors) {
                    items = [];
                    document.querySelectorAll(selector).forEach(function(element, index) {
                        const text = (element.textContent || '').trim() || element.getAttribute('aria-label') || '';
                        if (text && text.length < 50) {
                            items.push({ text: text, index: index });
                        }
                    });
                    if (items.length > 0) {
                        break;
                    }
                }
                if (items.length > 0 && window.webkit && window.webkit.messageHandlers &&
                    window.webkit.messageHandlers.sidebarNavigationHandler) {
                    window.webkit.messageHandlers.sidebarNavigationHandler.postMessage({ type: 'navigationItems', items: items });
                }
            } catch (e) {
                console.error('Sidebar navigation detection error:', e);
            }
        };
        if (document.readyState === 'loading') {
            document.addEventListener('DOMContentLoaded', detectSidebarNavigation);
        } else {
            detectSidebarNavigation();
        }
        if (document.body) {
            new MutationObserver(detectSidebarNavigation).observe(document.body, { childList: true, subtree: true });
        }
    } catch (e) {
        try {
            console.error('Masking script error:', e);
        } catch (ignored) {}
    }
})();
